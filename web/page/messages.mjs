// Every text of the page that a user may see: captions, hints, messages. They are the window's own
// texts, word for word; "&" in a caption marks the accelerator letter. Hints hold their long part
// only, the status bar's text.

export const SApplicationTitle = 'ルフレミナ';
export const AuthorSiteName = 'ルフレミナ・プロジェクト';

// ---- The output area ----
export const SWindowHint = '出力画像の縁をドラッグすることで出力サイズを変更できます。';
// While the output area has the keyboard focus.
export const SOutputKeysHint = '矢印キーで出力サイズを変更できます（Shift で10ピクセルずつ）。';
/** @param {number} width @param {number} height */
export const SOutputSize = (width, height) => `出力サイズ：${width} x ${height}`;

// ---- The control column ----
export const SGroupImage = '画像';
export const SGroupReflection = '反射';

/** The six sliders: the engine's name, label, range, start value and hint, in the column's order. */
export const Sliders = [
  { name: 'pictureSize', id: 'trcCameraZ', group: 'image', label: '大きさ', min: 1, max: 10, start: 3,
    hint: '全体の大きさを調節します。右に行くほど大きくなります。' },
  { name: 'cameraHeight', id: 'trcCameraY', group: 'image', label: '位置', min: -5, max: 5, start: 0,
    hint: '上下の位置を調節します。画像の底辺に傾きを付けたい時に使います。' },
  { name: 'tilt', id: 'trcYaw', group: 'image', label: '傾き', min: -5, max: 5, start: 0,
    hint: '画像の傾きを調節します。' },
  { name: 'opacity', id: 'trcOpacity', group: 'reflection', label: '不透明度', min: 0, max: 10, start: 8,
    hint: '反射の濃さを調節します。左に行くほど薄くなります。' },
  { name: 'length', id: 'trcLength', group: 'reflection', label: '長さ', min: 0, max: 10, start: 7,
    hint: '反射の長さを調節します。左に行くほど短くなります。' },
  { name: 'distance', id: 'trcMargin', group: 'reflection', label: '距離', min: 0, max: 10, start: 0,
    hint: '反射までの距離を調節します。左に行くほど近くなります。' },
];

// ---- Commands: caption, long hint, shortcut shown in the menus ----
export const Commands = {
  actOpen: { caption: '画像を読み込む(&O)...', hint: '元になる画像を読み込みます。', shortcut: 'Ctrl+O' },
  actPaste: { caption: '貼り付け(&V)', hint: 'クリップボードの画像を読み込みます。', shortcut: 'Ctrl+V' },
  actGradient: { caption: 'グラデーション(&G)', hint: '反射のグラデーションの有無を切り替えます。' },
  actResetYaw: { caption: '傾きをリセット(&R)', hint: '画像の傾きを0に戻します。' },
  actExportBMP24: { caption: 'BMP形式で書き出し(&B)...', hint: 'アルファチャンネル無しの24ビットBMP形式で書き出します。' },
  actExportBMP32: { caption: 'アルファ付きBMP形式で書き出し(&A)...',
    hint: 'アルファチャンネル付きの32ビットBMP形式で書き出します。' },
  actCopy: { caption: 'クリップボードにコピー(&C)', hint: 'アルファチャンネル無しでクリップボードにコピーします。',
    shortcut: 'Ctrl+C' },
  actCopy32: { caption: 'アルファ付きでクリップボードにコピー(&O)',
    hint: 'アルファチャンネル付きでクリップボードにコピーします。' },
  actAbout: { caption: 'バージョン情報(&A)...', hint: `${SApplicationTitle}のバージョン情報を表示します。`,
    shortcut: 'F1' },
  actWebsite: { caption: `&${AuthorSiteName} ホームページ`,
    hint: '作者のホームページを表示します。最新版はこちらからダウンロードできます。' },
  actRendering: { caption: 'レンダリング(&R)', hint: '出力用のレンダリングをプレビューします。' },
  actExportPNG: { caption: 'PNG形式で書き出し(&P)...', hint: 'アルファチャンネル付きの24ビットPNG形式で書き出します。' },
  // The page's own: the system's share sheet, where it takes files.
  actShare: { caption: '共有(&S)...', hint: 'PNG形式で書き出した画像を他のアプリに送ります。' },
};

// ---- Menus ----
export const SMenuFile = 'ファイル(&F)';
export const SMenuOutput = '出力(&E)';
export const SMenuSettings = '設定(&C)';
export const SMenuHelp = 'ヘルプ(&H)';

// ---- Messages ----
export const SCaptionError = 'エラー';  // the box refusing a file by its name
export const SOK = 'OK';
// The window's text for a clipboard it cannot put a picture on, here for a browser that refuses.
export const SClipboardRefused = 'クリップボードを開くことができません';
// The paste command with no picture on the clipboard (a page cannot see that before it asks).
export const SNoClipboardPicture = 'クリップボードに画像がありません';
export const SUnknownError = '原因不明のエラーが発生しました';
// Shown in place of the page when the browser cannot run it at all.
export const SNoWebAssembly = 'このブラウザではWebAssemblyを実行できないため、ルフレミナを使えません。';
// A browser that runs WebAssembly but cannot decompress the page's engine (older than 2023).
export const SBrowserTooOld = 'このブラウザは古いため、ルフレミナを使えません。新しいブラウザで開いてください。';
