// compare-pictures: compares a picture an example wrote with its reference.
// Both are PNGs of one size. A pixel counts as different when one of its
// channels differs by more than TOLERANCE; the pictures match when at most
// MAX_PERCENT of the pixels are different.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool Read(const char* path, png_image* image, std::vector<png_byte>* rgba) {
    std::memset(image, 0, sizeof(*image));
    image->version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(image, path)) {
        std::fprintf(stderr, "compare-pictures: %s: %s\n", path, image->message);
        return false;
    }
    image->format = PNG_FORMAT_RGBA;
    rgba->resize(PNG_IMAGE_SIZE(*image));
    if (!png_image_finish_read(image, nullptr, rgba->data(), 0, nullptr)) {
        std::fprintf(stderr, "compare-pictures: %s: %s\n", path, image->message);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: compare-pictures PICTURE REFERENCE TOLERANCE MAX_PERCENT\n"
                  "Exit 0 when at most MAX_PERCENT of the pixels differ by more than TOLERANCE\n"
                  "in a channel, 1 when more do or the sizes differ, 2 for bad usage.");
        return 0;
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: compare-pictures PICTURE REFERENCE TOLERANCE MAX_PERCENT\n");
        return 2;
    }
    const int tolerance = std::atoi(argv[3]);
    const double maxPercent = std::atof(argv[4]);
    png_image a, b;
    std::vector<png_byte> pa, pb;
    if (!Read(argv[1], &a, &pa) || !Read(argv[2], &b, &pb)) return 1;
    if (a.width != b.width || a.height != b.height) {
        std::fprintf(stderr, "compare-pictures: %s is %ux%u, the reference %ux%u\n", argv[1], a.width, a.height,
                     b.width, b.height);
        return 1;
    }
    size_t different = 0;
    int largest = 0;
    for (size_t i = 0; i < pa.size(); i += 4) {
        int worst = 0;
        for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(int(pa[i + c]) - int(pb[i + c])));
        largest = std::max(largest, worst);
        if (worst > tolerance) ++different;
    }
    const double percent = 100.0 * different / (pa.size() / 4);
    std::printf("%s: %zu pixels (%.3f%%) differ by more than %d, largest difference %d\n", argv[1], different,
                percent, tolerance, largest);
    return percent <= maxPercent ? 0 : 1;
}
