// Enlarges a 4 x 6 RGB picture made in memory to 8 x 12 and prints a sample.
#include <velmora/velmora.h>

#include <cstdint>
#include <cstdio>
#include <vector>

int main()
{
    std::vector<std::uint8_t> picture(4 * 6 * 3), bigger(8 * 12 * 3);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint8_t>(i * 7 % 256);
    const auto in = velmora::contiguous_view(picture.data(), velmora::sample_type::uint8, {4, 6, 3});
    const auto out = velmora::contiguous_view(bigger.data(), velmora::sample_type::uint8, {8, 12, 3});
    const velmora::result done = velmora::resize(in, out);
    if (!done) {
        std::fprintf(stderr, "%s\n", done.message);
        return 1;
    }
    std::printf("green at row 2, column 3: %d\n", bigger[(2 * 12 + 3) * 3 + 1]);
    return 0;
}
