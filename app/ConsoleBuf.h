#pragma once

#include <streambuf>

namespace UtilsNS {

// The stream buffer under std::cout, std::cerr and std::clog in a command-line run. It
// reaches for a console only when it first has something to show, and it asks for a key
// at the end only when the program itself created that console.
class consolebuf : public std::streambuf {
public:
    consolebuf();
    ~consolebuf() override;

    consolebuf(const consolebuf&) = delete;
    consolebuf& operator=(const consolebuf&) = delete;

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Bytes written, 0 when there was nothing to write, -1 on failure.
    int flush();

    static constexpr int bufferSize = 1024;
    char* _buffer;
};

} // namespace UtilsNS
