// A deliberately plain HTTP/1.1 server for the transfer benchmark, run as its
// own process so it never shares an event loop with the client being measured.
// GET  any path: the file given on the command line, with sendfile(2).
// POST any path: reads and discards Content-Length bytes, answers an upload result.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            return false;
        }
        done += size_t(n);
    }
    return true;
}

void serve(int client, const char* path) {
    std::string buffer;
    std::vector<char> chunk(1 << 20);
    for (;;) {
        size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::read(client, chunk.data(), chunk.size());
            if (n <= 0) {
                ::close(client);
                return;
            }
            buffer.append(chunk.data(), size_t(n));
        }
        const std::string head = buffer.substr(0, headerEnd);
        buffer.erase(0, headerEnd + 4);
        long long length = 0;
        for (const char* key : {"Content-Length: ", "content-length: "}) {
            const size_t at = head.find(key);
            if (at != std::string::npos) {
                length = std::atoll(head.c_str() + at + std::strlen(key));
            }
        }
        if (head.rfind("GET", 0) == 0) {
            const int file = ::open(path, O_RDONLY);
            struct stat st {};
            ::fstat(file, &st);
            writeAll(client, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             "Content-Length: " +
                                 std::to_string(st.st_size) + "\r\n\r\n");
            off_t offset = 0;
            while (offset < st.st_size) {
                if (::sendfile(client, file, &offset, size_t(st.st_size - offset)) <= 0) {
                    break;
                }
            }
            ::close(file);
        } else {
            long long received = std::min<long long>(length, (long long)buffer.size());
            buffer.erase(0, size_t(received));
            while (received < length) {
                const ssize_t n =
                    ::read(client, chunk.data(),
                           size_t(std::min<long long>(length - received, (long long)chunk.size())));
                if (n <= 0) {
                    ::close(client);
                    return;
                }
                received += n;
            }
            const std::string body =
                "{\"s3_key\":\"bench/output\",\"file_size\":" + std::to_string(received) + "}";
            writeAll(client,
                     "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\n\r\n" + body);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("listen");
        return 1;
    }
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) {
            continue;
        }
        std::thread(serve, client, argv[1]).detach();
    }
}
