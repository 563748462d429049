#include <curl/curl.h>

#include "vek/registry/HttpClient.h"

namespace vek {
namespace {

// libcurl's process-wide set-up, done once before the first handle.
void initCurl() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

struct Transfer {
    const HttpRequest& request;
    const BodySink* sink = nullptr;
    const ProgressFunction* progress = nullptr;
    CURL* handle = nullptr;
    std::string body;
    std::uint64_t received = 0;
    bool tooLarge = false;
    bool sinkFailed = false;
};

long statusOf(CURL* handle) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    transfer.received += bytes;
    if (transfer.request.maxBody && transfer.received > transfer.request.maxBody) {
        transfer.tooLarge = true;
        return 0;
    }
    // Only a successful answer goes to the sink; an error page is collected
    // so that its text can be reported.
    if (transfer.sink && statusOf(transfer.handle) == 200) {
        if (!(*transfer.sink)(data, bytes)) {
            transfer.sinkFailed = true;
            return 0;
        }
        return bytes;
    }
    transfer.body.append(data, bytes);
    return bytes;
}

int onProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(user);
    if (transfer.progress && *transfer.progress && statusOf(transfer.handle) == 200) {
        (*transfer.progress)(static_cast<std::uint64_t>(now), static_cast<std::uint64_t>(total));
    }
    return 0;
}

HttpResult perform(const HttpRequest& request, const BodySink* sink,
                   const ProgressFunction* progress) {
    initCurl();
    HttpResult result;
    CURL* handle = curl_easy_init();
    if (!handle) {
        result.error = "Failed to initialize the network library.";
        return result;
    }
    Transfer transfer{request, sink, progress, handle, {}, 0, false, false};
    char detail[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;
    for (const std::string& header : request.headers) {
        headers = curl_slist_append(headers, header.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "vek-client/1.0");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that stops sending is given up on instead of waited for.
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, progress ? 0L : 1L);
    if (request.method == "POST") {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
    } else if (request.method != "GET") {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    const CURLcode code = curl_easy_perform(handle);
    result.status = statusOf(handle);
    result.body = std::move(transfer.body);
    const std::string host = urlHost(request.url);
    if (transfer.tooLarge) {
        result.error = "The response of " + host + " is larger than " +
                       std::to_string(request.maxBody) + " bytes.";
    } else if (transfer.sinkFailed) {
        result.error = "Could not write the response of " + host + ".";
    } else if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST ||
               code == CURLE_COULDNT_RESOLVE_PROXY) {
        result.error = "Failed to connect to host: " + host + " (" +
                       (detail[0] ? detail : curl_easy_strerror(code)) + ")";
    } else if (code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL) {
        result.error = "Invalid registry URL: " + request.url;
    } else if (code != CURLE_OK) {
        result.error = "Network transmission failed with " + host + " (" +
                       (detail[0] ? detail : curl_easy_strerror(code)) + ")";
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(handle);
    return result;
}

} // namespace

HttpResult httpSend(const HttpRequest& request) { return perform(request, nullptr, nullptr); }

HttpResult httpStream(const HttpRequest& request, const BodySink& sink,
                      const ProgressFunction& progress) {
    return perform(request, &sink, &progress);
}

} // namespace vek
