#include "BrowserStreamRequest.h"

#include "SimpleStreamHelper.h"

namespace FB {

void BrowserStreamRequest::setHeaders(const std::string& rawHeaders) {
    headers = SimpleStreamHelper::parse_http_headers(rawHeaders);
}

} // namespace FB
