#pragma once

namespace httplib {
class Server;
}

namespace tovelin {

class UploadStore;

// Puts the host's behaviour on an httplib server: uploads into the store, downloads from
// it, the landing page, and the screening of request bodies before any byte is read.
// The store must outlive the server.
void installHostRoutes(httplib::Server& server, UploadStore& store);

} // namespace tovelin
