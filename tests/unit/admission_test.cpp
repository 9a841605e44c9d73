#include "Admission.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "FakeRequest.h"

namespace {

struct Row {
  const char* caller;
  const char* uri;
  const char* host;  // nullptr: no such header
  const char* origin;
  const char* fetch_site;
  const char* referer;
  Outcome expected;
};

RequestFacts::Header header(const char* value) {
  RequestFacts::Header h;
  if (value != nullptr) {
    h.present = true;
    h.value = value;
  }
  return h;
}

const std::set<std::string> kListed = {"https://platform.school.example:443", "null"};

Verdict decide(const Row& row) {
  RequestFacts facts;
  facts.caller = row.caller;
  facts.uri = row.uri;
  facts.host = header(row.host);
  facts.origin = header(row.origin);
  facts.fetch_site = header(row.fetch_site);
  facts.referer = header(row.referer);
  return admit(facts, [](const std::string& origin) { return kListed.count(origin) > 0; });
}

const char* const L = "127.0.0.1";
const char* const H = "127.0.0.1:40080";
const Outcome kServed = Outcome::kServed;
const Outcome kRemote = Outcome::kRemoteCaller;
const Outcome kHost = Outcome::kForeignHost;
const Outcome kPage = Outcome::kForeignPage;

}  // namespace

TEST(Admission, WhoMayCallWhat) {
  const Row rows[] = {
      // Native callers on this machine: as before, with any loopback Host or none.
      {L, "/loginUserGet", H, nullptr, nullptr, nullptr, kServed},
      {L, "/loginUserGet", nullptr, nullptr, nullptr, nullptr, kServed},
      {L, "/sendCmd", "localhost", nullptr, nullptr, nullptr, kServed},
      {L, "/sendCmd", "LOCALHOST:1", nullptr, nullptr, nullptr, kServed},
      {L, "/sendCmd", "[::1]:40080", nullptr, nullptr, nullptr, kServed},
      {L, "/config/ud", H, nullptr, nullptr, nullptr, kServed},
      // Another host: the open URIs only, whatever it sends.
      {"192.168.1.5", "/ping", H, nullptr, nullptr, nullptr, kRemote},
      {"192.168.1.5", "/getBroadcast", "evil.example", "http://evil.example", "cross-site", nullptr,
       kServed},
      {"192.168.1.5", "/www/index.html", "10.0.0.1:40080", nullptr, nullptr, nullptr, kServed},
      // DNS rebinding: a foreign name for 127.0.0.1, to an API or a file.
      {L, "/loginUserGet", "rebind.example:40080", nullptr, nullptr, nullptr, kHost},
      {L, "/config/ud", "rebind.example:40080", nullptr, nullptr, "http://rebind.example:40080/",
       kHost},
      {L, "/www/index.html", "127.0.0.1.evil.example", nullptr, nullptr, nullptr, kHost},
      {L, "/sendCmd", "", nullptr, nullptr, nullptr, kHost},
      // ...but the three open API URIs stay open to every caller.
      {L, "/getBroadcast", "rebind.example", nullptr, nullptr, nullptr, kServed},
      {L, "/pullOpCmd", H, "http://evil.example", "cross-site", nullptr, kServed},
      // Foreign web pages: fetch, <img>, <form>, with and without Sec-Fetch-Site.
      {L, "/loginUserGet", H, "http://evil.example:8000", "cross-site", nullptr, kPage},
      {L, "/sendCmd", H, nullptr, "cross-site", "http://evil.example:8000/", kPage},
      {L, "/sendCmd", H, "http://evil.example:8000", nullptr, "http://evil.example:8000/a", kPage},
      {L, "/sendCmd", H, nullptr, nullptr, "http://evil.example/page", kPage},
      {L, "/sendCmd", H, nullptr, "cross-site", nullptr, kPage},
      {L, "/sendCmd", H, nullptr, "same-site", nullptr, kPage},
      {L, "/www/index.html", H, nullptr, "cross-site", "http://evil.example/", kPage},
      {L, "/sendCmd", H, "file://", "cross-site", nullptr, kPage},
      // The console (same origin), an address typed by the teacher, pages
      // on this machine, and the school's listed page.
      {L, "/sendCmd", H, "http://127.0.0.1:40080", "same-origin", nullptr, kServed},
      {L, "/www/index.html", H, nullptr, "none", nullptr, kServed},
      {L, "/sendCmd", H, "http://localhost:3000", "same-site", nullptr, kServed},
      {L, "/sendCmd", H, "http://[::1]:8080", "cross-site", nullptr, kServed},
      {L, "/sendCmd", H, "HTTPS://Platform.School.Example", "cross-site", nullptr, kServed},
      {L, "/sendCmd", H, nullptr, "cross-site", "https://platform.school.example/lesson?id=1",
       kServed},
      {L, "/sendCmd", H, "https://platform.school.example:8443", "cross-site", nullptr, kPage},
      {L, "/sendCmd", H, "http://platform.school.example", "cross-site", nullptr, kPage},
      {L, "/sendCmd", H, "null", "cross-site", nullptr, kServed},  // listed
      // The origin list itself: native and same-origin callers only.
      {L, "/getWebOrigins", H, nullptr, nullptr, nullptr, kServed},
      {L, "/addWebOrigin", H, "http://127.0.0.1:40080", "same-origin", nullptr, kServed},
      {L, "/addWebOrigin", H, "http://127.0.0.1:40080", nullptr, nullptr, kServed},
      {L, "/getWebOrigins", H, "https://platform.school.example", "cross-site", nullptr, kPage},
      {L, "/getWebOrigins", H, "http://localhost:3000", "same-site", nullptr, kPage},
      {L, "/addWebOrigin", H, "http://127.0.0.1:40081", nullptr, nullptr, kPage},
      {L, "/getWebOrigins", "rebind.example:40080", nullptr, "same-origin", nullptr, kHost},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.caller) + " " + row.uri + " host=" + (row.host ? row.host : "-") +
                 " origin=" + (row.origin ? row.origin : "-") +
                 " site=" + (row.fetch_site ? row.fetch_site : "-") +
                 " referer=" + (row.referer ? row.referer : "-"));
    EXPECT_EQ(row.expected, decide(row).outcome);
  }
}

TEST(Admission, NamesTheRefusedPagesOrigin) {
  EXPECT_EQ("http://evil.example:8000",
            decide({L, "/sendCmd", H, nullptr, "cross-site", "http://Evil.example:8000/x?y", kPage})
                .origin);
  EXPECT_EQ("http://evil.example:80",
            decide({L, "/sendCmd", H, "http://evil.example", nullptr, nullptr, kPage}).origin);
  EXPECT_EQ("file://", decide({L, "/sendCmd", H, "file://", nullptr, nullptr, kPage}).origin);
  EXPECT_EQ("", decide({L, "/sendCmd", H, nullptr, "cross-site", nullptr, kPage}).origin);
}

TEST(Admission, ReadsTheHeadersOfARequestWhateverTheirCase) {
  FakeRequest request("/sendCmd");
  request.headers_ = {{"HOST", "a"},
                      {"host", "b"},
                      {"origin", "http://o"},
                      {"SEC-FETCH-SITE", "none"},
                      {"Referer", "http://r/"},
                      {"X-Other", "x"}};
  RequestFacts facts = RequestFacts::of(request);
  EXPECT_EQ("a", facts.host.value);  // the first of repeated headers
  EXPECT_EQ("http://o", facts.origin.value);
  EXPECT_EQ("none", facts.fetch_site.value);
  EXPECT_EQ("http://r/", facts.referer.value);
  EXPECT_TRUE(facts.host.present && facts.origin.present && facts.fetch_site.present &&
              facts.referer.present);
  EXPECT_FALSE(RequestFacts::of(FakeRequest("/ping")).host.present);
}
