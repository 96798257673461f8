// tovelin-upload: the upload core for scripts and machines without a desktop.
#include "cli/command_line.h"
#include "cli/terminal_progress.h"
#include "cli/upload_run.h"
#include "upload/endpoint.h"
#include "upload/http_client.h"

#include <csignal>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace {

tovelin::Cancellation g_interrupt;

extern "C" void onInterrupt(int)
{
    g_interrupt.cancel();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string defaultUrl = TOVELIN_UPLOAD_URL;
    const tovelin::CommandLine line =
        tovelin::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), defaultUrl);
    if (!line.error.empty()) {
        std::cerr << "tovelin-upload: " << line.error << "\n"
                  << "Try 'tovelin-upload --help' for more information.\n";
        return tovelin::kExitUsage;
    }
    if (line.help) {
        std::cout << tovelin::usageText(defaultUrl);
        return tovelin::kExitAllLinked;
    }

    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    tovelin::HttpClient client(*tovelin::Endpoint::parse(line.url));
    std::optional<tovelin::TerminalProgress> progress;
    if (::isatty(STDERR_FILENO)) {
        progress.emplace(stderr);
    }
    const int status = tovelin::uploadFiles(client, line.files, std::cout, std::cerr,
                                            progress ? &*progress : nullptr, g_interrupt);
    std::cout.flush();
    return status;
}
