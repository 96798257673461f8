// tovelin-host: the reference file host the window program and tovelin-upload post to.

#include "host/host_options.h"
#include "host/host_server.h"
#include "host/listen_addresses.h"
#include "host/upload_store.h"
#include "upload/failure.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr int kUsageError = 2;

int serve(const tovelin::HostOptions& options)
{
    // The signals that end the host are taken by sigwait() below; blocking them before any
    // thread starts keeps them away from the server threads.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::filesystem::path dataDir =
        options.dataDir.empty()
            ? tovelin::defaultDataDir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"))
            : options.dataDir;
    tovelin::UploadStore store(dataDir);
    tovelin::HostServer server(store);
    server.bind(tovelin::resolveListenAddresses(options.listenHost), options.listenPort);
    server.start();
    for (const std::string& url : server.urls()) {
        std::printf("tovelin-host: listening on %s\n", url.c_str());
    }
    std::printf("tovelin-host: files in %s\n", store.dir().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    std::printf("tovelin-host: stopping\n");
    std::fflush(stdout);
    server.stop();
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char** argv)
{
    tovelin::HostOptions options;
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        options = tovelin::parseHostOptions(args);
    } catch (const tovelin::Failure& failure) {
        std::fprintf(stderr, "tovelin-host: %s\n", failure.what());
        return kUsageError;
    }
    if (options.showHelp) {
        std::fputs(tovelin::hostUsage().c_str(), stdout);
        return EXIT_SUCCESS;
    }
    try {
        return serve(options);
    } catch (const tovelin::Failure& failure) {
        std::fprintf(stderr, "tovelin-host: %s\n", failure.what());
        return EXIT_FAILURE;
    }
}
