// Stands in for a web browser in the radio tests (no browser is installed on the test
// machine): copied into a test PATH under a browser's name, it writes its arguments, each
// ended by a NUL, to $TAVIRIN_STANDIN_LOG/<pid> and then waits until it is ended.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (const char* dir = std::getenv("TAVIRIN_STANDIN_LOG")) {
        const std::string path = std::string(dir) + "/" + std::to_string(::getpid());
        const std::string partial = path + ".partial";
        if (FILE* f = std::fopen(partial.c_str(), "wb")) {
            for (int i = 1; i < argc; ++i)
                std::fwrite(argv[i], 1, std::string(argv[i]).size() + 1, f);
            std::fclose(f);
            std::rename(partial.c_str(), path.c_str());
        }
    }
    for (;;) ::pause();
}
