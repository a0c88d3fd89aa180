// The whole job a user runs, as one process, for the side-by-side comparison with ImageMagick
// (bench/imagemagick_compare.sh): load a picture, the final rendering at an output size with the
// sliders at their defaults or at a given tilt and camera height, and the PNG file, written as
// rufuremina-batch writes it (the window's export also puts the rendering on the clipboard, which
// the program the job is compared with does not).
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
#include "toolkit/safe_file.h"
#include "toolkit/worker_pool.h"

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
    // As rufuremina-batch writes a PNG: the file's rows are compressed while the pool's other
    // thread casts the later bands.
    TFinalRendering rendering(scene, sliders, source, side, side);
    SharedWorkerPool().ParallelFor(2, [&](std::size_t task) {
      if (task == 1) return rendering.CastBands();
      WriteFileSafely(argv[2], [&](TStream& stream) {
        WriteRenderingPNGAsRowsArrive(rendering.Image(), [&](int y) { rendering.AwaitRow(y); }, stream);
      });
    });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
