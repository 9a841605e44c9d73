#include "Admission.h"

#include <cstring>

#include "HttpServer.h"
#include "WebOrigin.h"

namespace {

bool same_nocase(const std::string& a, const char* b) {
  size_t n = strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != b[i]) return false;
  }
  return true;
}

bool starts_nocase(const std::string& text, const char* prefix) {
  size_t n = strlen(prefix);
  return text.size() >= n && same_nocase(text.substr(0, n), prefix);
}

// The three API URIs that other hosts reach too; a local caller reaches
// them without the browser checks, as every host does.
bool open_api(const std::string& uri) {
  return starts_nocase(uri, "/getbroadcast") || starts_nocase(uri, "/sendopcmd") ||
         starts_nocase(uri, "/pullopcmd");
}

// The host part of a Host header: "[::1]:40080" gives "[::1]".
std::string host_name(const std::string& host) {
  if (!host.empty() && host[0] == '[') {
    size_t close = host.find(']');
    return close == std::string::npos ? host : host.substr(0, close + 1);
  }
  return host.substr(0, host.find(':'));
}

bool local_host_header(const RequestFacts::Header& host) {
  return !host.present || is_loopback_host(host_name(host.value));
}

// Whether the page is of this very server: its origin is http:// and the
// Host the request was sent to, a name of this machine.
bool own_page(const RequestFacts& facts, const std::string& canonical) {
  if (!facts.host.present) return false;
  return canonical == canonical_origin("http://" + facts.host.value) &&
         is_loopback_host(origin_host(canonical));
}

}  // namespace

RequestFacts RequestFacts::of(const HttpRequest& request) {
  RequestFacts facts;
  facts.caller = request.remote_addr();
  facts.uri = request.uri();
  for (const auto& header : request.headers()) {
    Header* slot = nullptr;
    if (same_nocase(header.first, "host")) {
      slot = &facts.host;
    } else if (same_nocase(header.first, "origin")) {
      slot = &facts.origin;
    } else if (same_nocase(header.first, "sec-fetch-site")) {
      slot = &facts.fetch_site;
    } else if (same_nocase(header.first, "referer")) {
      slot = &facts.referer;
    }
    if (slot != nullptr && !slot->present) {
      slot->present = true;
      slot->value = header.second;
    }
  }
  return facts;
}

bool manages_origins(const std::string& uri) {
  return starts_nocase(uri, "/getweborigins") || starts_nocase(uri, "/addweborigin") ||
         starts_nocase(uri, "/delweborigin");
}

Verdict admit(const RequestFacts& facts, const OriginAllowed& allowed) {
  if (!HttpServer::admitted(facts.caller, facts.uri)) return {Outcome::kRemoteCaller, ""};
  bool local = facts.caller.compare(0, 9, "127.0.0.1") == 0;
  if (!local || open_api(facts.uri)) return {Outcome::kServed, ""};

  if (!local_host_header(facts.host)) return {Outcome::kForeignHost, ""};

  if (!facts.origin.present && !facts.fetch_site.present && !facts.referer.present) {
    return {Outcome::kServed, ""};
  }
  if (facts.fetch_site.present && (same_nocase(facts.fetch_site.value, "same-origin") ||
                                   same_nocase(facts.fetch_site.value, "none"))) {
    return {Outcome::kServed, ""};
  }
  std::string origin = facts.origin.present    ? canonical_origin(facts.origin.value)
                       : facts.referer.present ? canonical_origin(facts.referer.value)
                                               : "";
  if (!origin.empty()) {
    if (manages_origins(facts.uri)) {
      if (own_page(facts, origin)) return {Outcome::kServed, ""};
    } else if (is_loopback_host(origin_host(origin)) || allowed(origin)) {
      return {Outcome::kServed, ""};
    }
  }
  if (origin.empty() && facts.origin.present) origin = facts.origin.value.substr(0, 200);
  return {Outcome::kForeignPage, origin};
}
