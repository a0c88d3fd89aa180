// The engine's WebAssembly module as emscripten builds it (web/engine/bindings.cpp): the factory
// and the parts of the instance that rufuremina.mjs uses. Pointers are addresses in HEAPU8.
export interface RufureminaEngineModule {
  HEAPU8: Uint8Array;
  HEAP32: Int32Array;
  HEAPF64: Float64Array;
  UTF8ToString(pointer: number): string;
  _malloc(size: number): number;
  _free(pointer: number): void;
  _rfl_create(): number;
  _rfl_destroy(api: number): void;
  _rfl_load_picture(api: number, name: number, bytes: number, size: number): number;
  _rfl_load_script_file(api: number, name: number, size: number): number;
  /** Set by the caller for the time of _rfl_load_script_file: copies up to `count` bytes of the
   *  file from `position` into HEAPU8 at `into`; answers how many, or -1. */
  readScriptFile?: (position: number, count: number, into: number) => number;
  _rfl_load_cost(api: number, name: number, head: number, size: number, numbers: number): number;
  _rfl_set_sliders(api: number, pictureSize: number, cameraHeight: number, tilt: number, opacity: number,
                   length: number, distance: number): number;
  _rfl_set_gradient(api: number, enabled: number): number;
  _rfl_set_output_size(api: number, width: number, height: number): number;
  _rfl_state(api: number, numbers: number): void;
  _rfl_picture_name(api: number): number;
  _rfl_render_preview(api: number): number;
  _rfl_render_final(api: number): number;
  _rfl_shown(api: number): number;
  _rfl_export(api: number, kind: number, year: number, month: number, day: number, hour: number, minute: number,
              second: number): number;
  _rfl_about(api: number): number;
  _rfl_result(api: number): number;
  _rfl_result_size(api: number): number;
  _rfl_result_width(api: number): number;
  _rfl_result_height(api: number): number;
  _rfl_failure_caption(api: number): number;
  _rfl_failure_text(api: number): number;
}
// onLoadProgress: called from within _rfl_load_picture with the percentage decoded. Either the
// .wasm's bytes are given, or instantiateWasm instantiates it and hands the instance to `receive`.
declare function createRufureminaEngine(options: {
  wasmBinary?: Uint8Array,
  instantiateWasm?: (imports: WebAssembly.Imports,
                     receive: (instance: WebAssembly.Instance, module: WebAssembly.Module) => void) => {},
  onLoadProgress?: (percent: number) => void,
}): Promise<RufureminaEngineModule>;
export default createRufureminaEngine;
