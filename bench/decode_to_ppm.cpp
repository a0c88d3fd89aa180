// Decodes pictures as the program loads them and writes each as a binary PPM (RGB, alpha dropped),
// for tools/jpeg_decode_check.sh, which compares them with libjpeg-turbo's own djpeg.
//
//   decode_to_ppm PICTURE OUT.ppm [PICTURE OUT.ppm ...]
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "picture/loading.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: %s PICTURE OUT.ppm [PICTURE OUT.ppm ...]\n", argv[0]);
    return 2;
  }
  try {
    for (int i = 1; i < argc; i += 2) {
      const TBitmap picture = ReadSourcePicture(argv[i], PictureKindOf(argv[i]));
      std::vector<unsigned char> rgb;
      rgb.reserve(std::size_t(picture.Width()) * std::size_t(picture.Height()) * 3);
      for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
          const unsigned char* p = picture.ScanLine(y) + 4 * std::size_t(x);
          rgb.insert(rgb.end(), {p[2], p[1], p[0]});
        }
      std::FILE* out = std::fopen(argv[i + 1], "wb");
      if (out == nullptr) throw std::runtime_error(std::string("cannot write ") + argv[i + 1]);
      std::fprintf(out, "P6\n%d %d\n255\n", picture.Width(), picture.Height());
      const bool written = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
      if (std::fclose(out) != 0 || !written) throw std::runtime_error(std::string("cannot write ") + argv[i + 1]);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
