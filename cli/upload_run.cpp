#include "cli/upload_run.h"

#include "upload/failure.h"
#include "upload/form_data_body.h"
#include "upload/http_client.h"
#include "upload/size_check.h"
#include "upload/upload_outcome.h"

namespace tovelin {

namespace {

constexpr char kRefusedSize[] = "Недопустимый размер файла";

int uploadOne(HttpClient& client, const std::string& path, std::ostream& out, std::ostream& err,
              UploadProgress* progress, const Cancellation& cancel)
{
    PostResult result;
    try {
        if (!isAcceptedSize(fileByteSize(path))) {
            err << kRefusedSize << '\n';
            return kExitRefused;
        }
        FormDataBody body;
        body.addFilePart("file", path, "application/octet-stream");
        result = client.post(body, progress, cancel);
    } catch (const Failure& failure) {
        err << failure.what() << '\n';
        return kExitRefused;
    }
    if (progress) {
        progress->finished();
    }
    if (result.kind == PostResult::Kind::Cancelled) {
        return kExitInterrupted;
    }
    const UploadOutcome outcome =
        uploadOutcome(result, client.reply(), client.endpoint().linkPrefix());
    switch (outcome.kind) {
    case UploadOutcome::Kind::Link:
        out << outcome.text << std::endl;
        return kExitAllLinked;
    case UploadOutcome::Kind::Failure:
        err << outcome.text << '\n';
        return kExitUploadFailed;
    case UploadOutcome::Kind::Nothing:
        break;
    }
    err << "tovelin-upload: " << path << ": the host took the file without giving a link\n";
    return kExitNoLink;
}

} // namespace

int uploadFiles(HttpClient& client, const std::vector<std::string>& files, std::ostream& out,
                std::ostream& err, UploadProgress* progress, const Cancellation& cancel)
{
    int status = kExitAllLinked;
    for (const std::string& path : files) {
        const int fileStatus = uploadOne(client, path, out, err, progress, cancel);
        if (fileStatus == kExitInterrupted) {
            return fileStatus;
        }
        if (status == kExitAllLinked) {
            status = fileStatus;
        }
    }
    return status;
}

} // namespace tovelin
