#pragma once
// Fuzz input cut into lines as the line engine cuts a server's bytes: at
// each LF, a CR before it dropped; the rest after the last LF is a line too.
#include <cstddef>
#include <cstdint>
#include <string>

template <typename F>
void ForEachServerLine(const uint8_t* data, size_t size, F&& f) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    size_t from = 0;
    while (from <= all.size()) {
        size_t lf = all.find('\n', from);
        if (lf == std::string::npos) lf = all.size();
        size_t end = lf;
        if (end > from && all[end - 1] == '\r') --end;
        f(all.substr(from, end - from));
        from = lf + 1;
    }
}
