#pragma once

#include "upload/work_events.h"

namespace tovelin {

// Follows each post's work events; told when a post is over so it can wipe itself before
// the file's result is printed.
class UploadProgress : public WorkObserver
{
public:
    virtual void finished() = 0;
};

} // namespace tovelin
