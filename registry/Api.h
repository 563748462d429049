// The registry's HTTP API under "/api/v1/": versions, version details,
// package info, search, download, publish and login. Every answer is JSON,
// except a download; every error is {"error": "..."} with its status.
#pragma once

#include <httplib.h>

#include "registry/Store.h"

namespace registry {

struct ApiOptions {
    bool readOnly = false;   // publish and login are refused
    bool logRequests = true; // one line per request on standard error
    std::size_t searchLimit = 100;
};

// How long the server waits for a client that has gone quiet in the middle
// of a request or an answer.
inline constexpr int kClientQuietSeconds = 5;

// Adds the routes of the API to `server`; `store` must outlive it.
void installApi(httplib::Server& server, Store& store, const ApiOptions& options);

} // namespace registry
