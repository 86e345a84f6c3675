// Fuzz target for the URL decoder. The first byte sets kept queries and case folding;
// the rest is the text, decoded in place in a buffer of exactly its size, so a read
// past the terminator (a "%" at the end, say) is caught. The result is never longer
// than the text, is fully lower-cased under case folding, and a text with nothing to
// decode, cut or fold comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "config/global.h"
#include "log/log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    keepqueriesFlag = data[0] & 1;
    nocaseFlag = (data[0] >> 1) & 1;
    std::vector<char> text(data + 1, data + size);
    text.push_back('\0');
    const std::size_t before = std::strlen(text.data());
    const std::vector<char> original(text.begin(),
                                     text.begin() + static_cast<std::ptrdiff_t>(before) + 1);

    UnescapeUrl(text.data());

    const std::size_t after = std::strlen(text.data());
    if (after > before) std::abort();
    if (nocaseFlag)
        for (std::size_t i = 0; i < after; ++i)
            if (text[i] >= 'A' && text[i] <= 'Z') std::abort();
    bool plain = std::strpbrk(original.data(), "%?") == nullptr;
    for (std::size_t i = 0; plain && i < before; ++i)
        if (original[i] >= 'A' && original[i] <= 'Z') plain = false;
    if (plain && std::strcmp(original.data(), text.data()) != 0) std::abort();
    return 0;
}
