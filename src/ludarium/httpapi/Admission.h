// Who may call what: the one decision, for every request, of whether the
// local API serves it. Pure: request facts in, verdict out.
//
// - Another host reaches only the URIs open to the network: /getBroadcast,
//   /sendOpCmd, /pullOpCmd and files inside www (HttpServer::admitted).
// - A caller on this machine reaches those three as it always did; for
//   everything else (every local-only URI and every file) two more checks
//   hold, because a web page in the teacher's browser is 127.0.0.1 too:
//   1. Host, when present, names this machine (127.0.0.1, localhost, [::1],
//      any port): a page on a name that re-resolves to 127.0.0.1 (DNS
//      rebinding) sends its own name.
//   2. A request that carries Origin, Sec-Fetch-Site or Referer comes from a
//      web page: it is served when Sec-Fetch-Site is same-origin or none (the
//      console served from here, an address the teacher typed) or when the
//      page's origin (Origin, else the Referer's) is on this machine or
//      listed in config/origins. The origin-list endpoints themselves are
//      served only to same-origin pages: a listed page cannot list others.
//   Requests without those three headers (the teacher's client, curl) are
//   served as before.
#pragma once

#include <functional>
#include <string>

#include "HttpRequest.h"

struct RequestFacts {
  // A header as the request carried it; present is false when it did not.
  struct Header {
    bool present = false;
    std::string value;
  };
  std::string caller;  // the peer's dotted address
  std::string uri;
  Header host, origin, fetch_site, referer;

  // The facts of a request (the first of repeated headers counts).
  static RequestFacts of(const HttpRequest& request);
};

enum class Outcome {
  kServed,
  kRemoteCaller,  // another host asked for a local-only URI
  kForeignHost,   // Host names no name of this machine
  kForeignPage,   // a web page that is neither ours nor allowed
};

struct Verdict {
  Outcome outcome;
  // For kForeignPage: the page's canonical origin, or the Origin text as
  // sent when it is no origin, "" when the request names none.
  std::string origin;
};

// Whether a canonical origin is on the school's list.
using OriginAllowed = std::function<bool(const std::string& canonical)>;

Verdict admit(const RequestFacts& facts, const OriginAllowed& allowed);

// The URIs that manage the list of allowed origins.
bool manages_origins(const std::string& uri);
