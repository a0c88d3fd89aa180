// The engine's face to JavaScript: plain C functions over one engine object, with numbers and
// pointers into the module's memory. Every call catches what the engine throws and answers a
// status; the failure's caption and text, or the call's result bytes, wait in the object until
// the next call. web/rufuremina.mjs is the only caller.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "toolkit/load_progress.h"
#include "web/engine/engine.h"
#include "web/engine/script_file.h"

namespace {

enum TStatus : int { Done = 0, Failed = 1, OutOfRange = 2 };

// The formats by the numbers the module passes.
enum TOutputKind : int { PngFile = 0, Bmp24File = 1, Bmp32File = 2, ClipboardPngFile = 3 };

struct TWebApi {
  TWebEngine engine;
  std::vector<std::uint8_t> result;
  int resultWidth = 0, resultHeight = 0;
  TEngineFailure failure;
};

template <class Call>
int Run(TWebApi* api, Call&& call) {
  api->failure = {};
  try {
    call();
    return Done;
  } catch (const std::out_of_range& e) {
    api->failure = {{}, e.what()};
    return OutOfRange;
  } catch (...) {
    api->failure = FailureOf(std::current_exception());
    return Failed;
  }
}

// How far a picture's decoding has come, for the module's caller (its onLoadProgress option).
EM_JS(void, rfl_report_load_progress, (int percent), {
  if (Module['onLoadProgress']) Module['onLoadProgress'](percent);
});

void ReportLoadProgressToPage(void*, int percent) { rfl_report_load_progress(percent); }

void Keep(TWebApi* api, TShownImage shown) {
  api->result = std::move(shown.Rgba);
  api->resultWidth = shown.Width;
  api->resultHeight = shown.Height;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE TWebApi* rfl_create() {
  try {
    return new TWebApi;
  } catch (...) {
    return nullptr;
  }
}

EMSCRIPTEN_KEEPALIVE void rfl_destroy(TWebApi* api) { delete api; }

EMSCRIPTEN_KEEPALIVE int rfl_load_picture(TWebApi* api, const char* name, const std::uint8_t* bytes,
                                          std::size_t size) {
  return Run(api, [&] {
    TLoadProgressScope progress(ReportLoadProgressToPage, nullptr);
    api->engine.LoadPicture(name, {bytes, size});
  });
}

// What loading the file whose first bytes are given would cost: its declared width and height and
// the memory its load takes (the picture's and its reader's), as three numbers.
EMSCRIPTEN_KEEPALIVE int rfl_load_cost(TWebApi* api, const char* name, const std::uint8_t* head, std::size_t size,
                                       double* numbers) {
  return Run(api, [&] {
    const TPictureCost cost = LoadCostOf(name, {head, size});
    numbers[0] = cost.Width;
    numbers[1] = cost.Height;
    numbers[2] = double(cost.Bytes());
  });
}

// The picture from the file the script holds (script_file.h), of `size` bytes.
EMSCRIPTEN_KEEPALIVE int rfl_load_script_file(TWebApi* api, const char* name, double size) {
  return Run(api, [&] {
    TLoadProgressScope progress(ReportLoadProgressToPage, nullptr);
    TScriptFileStream file{std::uint64_t(size)};
    api->engine.LoadPicture(name, file);
  });
}

EMSCRIPTEN_KEEPALIVE int rfl_set_sliders(TWebApi* api, int pictureSize, int cameraHeight, int tilt, int opacity,
                                         int length, int distance) {
  return Run(api, [&] { api->engine.SetSliders({pictureSize, cameraHeight, tilt, opacity, length, distance}); });
}

EMSCRIPTEN_KEEPALIVE int rfl_set_gradient(TWebApi* api, int enabled) {
  return Run(api, [&] { api->engine.SetGradient(enabled != 0); });
}

EMSCRIPTEN_KEEPALIVE int rfl_set_output_size(TWebApi* api, int width, int height) {
  return Run(api, [&] { api->engine.SetOutputSize(width, height); });
}

// The state as nine numbers: the six sliders, the gradient (0 or 1), the output width and height.
EMSCRIPTEN_KEEPALIVE void rfl_state(TWebApi* api, int* numbers) {
  const TWebEngine& e = api->engine;
  const TEngineSliders& s = e.Sliders();
  const int values[] = {s.PictureSize, s.CameraHeight, s.Tilt, s.Opacity, s.Length, s.Distance,
                        e.Gradient() ? 1 : 0, e.OutputWidth(), e.OutputHeight()};
  for (int v : values) *numbers++ = v;
}

EMSCRIPTEN_KEEPALIVE const char* rfl_picture_name(TWebApi* api) { return api->engine.PictureName().c_str(); }

EMSCRIPTEN_KEEPALIVE int rfl_render_preview(TWebApi* api) {
  return Run(api, [&] { Keep(api, api->engine.RenderPreview()); });
}

EMSCRIPTEN_KEEPALIVE int rfl_render_final(TWebApi* api) {
  return Run(api, [&] { Keep(api, api->engine.RenderFinal()); });
}

EMSCRIPTEN_KEEPALIVE int rfl_shown(TWebApi* api) {
  return Run(api, [&] { Keep(api, api->engine.Shown()); });
}

// The file of `kind` with tIME from the date and time given (UTC).
EMSCRIPTEN_KEEPALIVE int rfl_export(TWebApi* api, int kind, int year, int month, int day, int hour, int minute,
                                    int second) {
  return Run(api, [&] {
    const PngTime time{std::uint16_t(year),  std::uint8_t(month),  std::uint8_t(day),
                       std::uint8_t(hour),   std::uint8_t(minute), std::uint8_t(second)};
    switch (kind) {
      case PngFile: api->result = api->engine.ExportFile(TExportFormat::PNG, time); break;
      case Bmp24File: api->result = api->engine.ExportFile(TExportFormat::BMP24, time); break;
      case Bmp32File: api->result = api->engine.ExportFile(TExportFormat::BMP32, time); break;
      case ClipboardPngFile: api->result = api->engine.ClipboardPng(time); break;
      default: throw std::out_of_range("no such export");
    }
    api->resultWidth = api->engine.OutputWidth();
    api->resultHeight = api->engine.OutputHeight();
  });
}

// The About box's caption, text and address, each ended by a zero byte, as the result.
EMSCRIPTEN_KEEPALIVE int rfl_about(TWebApi* api) {
  return Run(api, [&] {
    const TAboutText about = api->engine.About();
    api->result.clear();
    for (const std::string* part : {&about.Title, &about.Text, &about.Url}) {
      api->result.insert(api->result.end(), part->begin(), part->end());
      api->result.push_back(0);
    }
  });
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* rfl_result(TWebApi* api) { return api->result.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t rfl_result_size(TWebApi* api) { return api->result.size(); }
EMSCRIPTEN_KEEPALIVE int rfl_result_width(TWebApi* api) { return api->resultWidth; }
EMSCRIPTEN_KEEPALIVE int rfl_result_height(TWebApi* api) { return api->resultHeight; }
EMSCRIPTEN_KEEPALIVE const char* rfl_failure_caption(TWebApi* api) { return api->failure.Caption.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* rfl_failure_text(TWebApi* api) { return api->failure.Text.c_str(); }

}  // extern "C"
