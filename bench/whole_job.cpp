// The whole job a user runs, as one process, for the side-by-side comparison with ImageMagick
// (bench/imagemagick_compare.sh): load a picture, the final rendering at an output size with the
// sliders at their defaults or at a given tilt and camera height, and the PNG export. The export's
// clipboard copy is left out: the program the job is compared with has none.
//
//   whole_job PICTURE OUTPUT.png [SIDE [TILT HEIGHT]]     (SIDE 32..512, default 512; TILT and
//                                                        HEIGHT -5..5, default 0)
#include <cstdio>
#include <exception>
#include <string>

#include "picture/export.h"
#include "picture/loading.h"
#include "render/final.h"
#include "scene/vector_math.h"
#include "toolkit/worker_pool.h"

namespace {

class TNoClipboard final : public TClipboard {
 public:
  void SetBitmap(const TBitmap&, const std::vector<TRGBQuad>&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc == 5 || argc > 6) {
    std::fprintf(stderr, "usage: %s PICTURE OUTPUT.png [SIDE [TILT HEIGHT]]\n", argv[0]);
    return 2;
  }
  try {
    const std::string pictureName = argv[1];
    const int side = argc >= 4 ? std::stoi(argv[3]) : 512;
    TSceneSliders sceneSliders;
    if (argc == 6) sceneSliders.Yaw = std::stoi(argv[4]), sceneSliders.CameraY = std::stoi(argv[5]);
    // The window fills its rotation tables when it starts, long before anyone exports; here that
    // happens on the shared pool's thread while the picture loads.
    TBitmap source;
    SharedWorkerPool().ParallelFor(2, [&](std::size_t task) {
      if (task == 0) source = ReadSourcePicture(pictureName, PictureKindOf(pictureName));
      else InitTrigTables();
    });
    TScene scene;
    CreateScene(scene, sceneSliders, source.Width(), source.Height(), side, side);
    const TReflectionSliders sliders;
    TBitmap output(side, side, pf32bit);
    TNoClipboard clipboard;
    ExportPNG([&] { return TakeRendering(scene, sliders, source, output, nullptr, true); }, argv[2], clipboard);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
