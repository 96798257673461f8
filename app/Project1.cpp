#include "app/window_program.h"
#include "upload/endpoint.h"

#include <cstdio>

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const auto endpoint = tovelin::Endpoint::parse(TOVELIN_UPLOAD_URL);
    if (!endpoint) {
        std::fputs("tovelin: the upload address built in is not an http URL\n", stderr);
        return 1;
    }
    return tovelin::runWindowProgram(*endpoint);
}
