#include <gtest/gtest.h>

#include <new>
#include <string>

#include "BaseHttpAPI.h"
#include "FakeRequest.h"
#include "HttpServer.h"
#include "ServerObjects.h"

TEST(HttpServer, AdmissionByCallerAndUri) {
  EXPECT_TRUE(HttpServer::admitted("127.0.0.1", "/ping"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/ping"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/GETBROADCAST"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/pullOpCmd?x"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/www/a/b.html"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/www"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/wwwroot/x"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www/../config/ud"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www/..\\config"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www//etc"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www/c:/x"));
}

TEST(HttpServer, AnExceptionOutOfAHandlerIsAnsweredAsAFailure) {
  // A request whose body cannot be had, as when memory runs out reading it.
  class ExhaustedRequest : public FakeRequest {
   public:
    using FakeRequest::FakeRequest;
    const std::string& body() override { throw std::bad_alloc(); }
  };
  ExhaustedRequest request("/ping");
  ServerObjects objects;
  EXPECT_EQ(1, objects.server.handle(request));
  EXPECT_EQ("{\"status\":0,\"msg\":\"exception: std::bad_allocstd::bad_alloc\"}", request.replyBody());
}

TEST(HttpServer, RepliesAndRouting) {
  FakeRequest fail("/x");
  BaseHttpAPI::replyFail(fail, "bad \"thing\"");
  EXPECT_EQ(
      "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain;charset=utf-8\r\n"
      "Content-Length: 34\r\n\r\n{\"status\":0,\"msg\":\"bad \\\"thing\\\"\"}",
      fail.written);
  ServerObjects objects;
  FakeRequest remote("/ping", "10.1.1.1");
  EXPECT_EQ(1, objects.server.handle(remote));
  EXPECT_EQ(BaseHttpAPI::kNoSuchApi, remote.replyBody());
  FakeRequest file("/www/index.html");
  EXPECT_EQ(0, objects.server.handle(file));  // left to the file server
  EXPECT_EQ("", file.written);
}
