#pragma once
// Every text of the window that a user may see: captions, hints, messages, and the author's site.
// Other code and comments name these constants instead of repeating their words. Hints hold their
// long part only, the status bar's text (SetLongHint stores it). "%1", "%2", ... take their values
// through QString::arg; "%d" through printf formatting.

// ---- The application and the author ----
inline constexpr const char* SApplicationTitle = "ルフレミナ";
inline constexpr const char* AuthorSiteName = "ルフレミナ・プロジェクト";
inline constexpr const char* AuthorHomePage = "https://rufuremina.example.org/";

// ---- The output area ----
inline constexpr const char* SWindowHint = "出力画像の縁をドラッグすることで出力サイズを変更できます。";
inline constexpr const char* SOutputSize = "出力サイズ：%d x %d";  // printf: width, height

// ---- The control column ----
inline constexpr const char* SGroupImage = "画像";
inline constexpr const char* SGroupReflection = "反射";
inline constexpr const char* SLabelCameraZ = "大きさ";
inline constexpr const char* SHintCameraZ = "全体の大きさを調節します。右に行くほど大きくなります。";
inline constexpr const char* SLabelCameraY = "位置";
inline constexpr const char* SHintCameraY = "上下の位置を調節します。画像の底辺に傾きを付けたい時に使います。";
inline constexpr const char* SLabelYaw = "傾き";
inline constexpr const char* SHintYaw = "画像の傾きを調節します。";
inline constexpr const char* SLabelOpacity = "不透明度";
inline constexpr const char* SHintOpacity = "反射の濃さを調節します。左に行くほど薄くなります。";
inline constexpr const char* SLabelLength = "長さ";
inline constexpr const char* SHintLength = "反射の長さを調節します。左に行くほど短くなります。";
inline constexpr const char* SLabelMargin = "距離";
inline constexpr const char* SHintMargin = "反射までの距離を調節します。左に行くほど近くなります。";

// ---- Commands ----
inline constexpr const char* SCaptionOpen = "画像を読み込む(&O)...";
inline constexpr const char* SHintOpen = "元になる画像を読み込みます。";
inline constexpr const char* SCaptionPaste = "貼り付け(&V)";
inline constexpr const char* SHintPaste = "クリップボードの画像を読み込みます。";
inline constexpr const char* SCaptionExit = "終了(&X)";
inline constexpr const char* SHintExit = "%1を終了します。";  // the application title
inline constexpr const char* SCaptionGradient = "グラデーション(&G)";
inline constexpr const char* SHintGradient = "反射のグラデーションの有無を切り替えます。";
inline constexpr const char* SCaptionResetYaw = "傾きをリセット(&R)";
inline constexpr const char* SHintResetYaw = "画像の傾きを0に戻します。";
inline constexpr const char* SCaptionExportBMP24 = "BMP形式で書き出し(&B)...";
inline constexpr const char* SHintExportBMP24 = "アルファチャンネル無しの24ビットBMP形式で書き出します。";
inline constexpr const char* SCaptionExportBMP32 = "アルファ付きBMP形式で書き出し(&A)...";
inline constexpr const char* SHintExportBMP32 = "アルファチャンネル付きの32ビットBMP形式で書き出します。";
inline constexpr const char* SCaptionCopy = "クリップボードにコピー(&C)";
inline constexpr const char* SHintCopy = "アルファチャンネル無しでクリップボードにコピーします。";
inline constexpr const char* SCaptionCopy32 = "アルファ付きでクリップボードにコピー(&O)";
inline constexpr const char* SHintCopy32 = "アルファチャンネル付きでクリップボードにコピーします。";
inline constexpr const char* SCaptionAbout = "バージョン情報(&A)...";
inline constexpr const char* SHintAbout = "%1のバージョン情報を表示します。";  // the application title
inline constexpr const char* SCaptionWebsite = "&%1へ";  // the author's site name
inline constexpr const char* SHintWebsite = "作者のホームページを表示します。最新版はこちらからダウンロードできます。";
inline constexpr const char* SCaptionRendering = "レンダリング(&R)";
inline constexpr const char* SHintRendering = "出力用のレンダリングをプレビューします。";
inline constexpr const char* SCaptionExportPNG = "PNG形式で書き出し(&P)...";
inline constexpr const char* SHintExportPNG = "アルファチャンネル付きの24ビットPNG形式で書き出します。";

// ---- Menus ----
inline constexpr const char* SMenuFile = "ファイル(&F)";
inline constexpr const char* SMenuOutput = "出力(&E)";
inline constexpr const char* SMenuSettings = "設定(&C)";
inline constexpr const char* SMenuHelp = "ヘルプ(&H)";
inline constexpr const char* SMenuWebsite = "&%1 ホームページ";  // the author's site name

// ---- Files ----
// The open dialog's first filter entry: every kind the program reads.
inline constexpr const char* SFilterSupported =
    "対応形式 (*.bmp; *.jpg; *.jpeg; *.png; *.webp; *.heic; *.heif; *.avif)|"
    "*.bmp;*.jpg;*.jpeg;*.png;*.webp;*.heic;*.heif;*.avif";
// The open dialog's entries after the bitmap's and the JPEG's: one for each kind the decoding
// libraries read.
inline constexpr const char* SFilterDecodedKinds =
    "PNG イメージファイル (*.png)|*.png|WebP イメージファイル (*.webp)|*.webp|"
    "HEIF イメージファイル (*.heic;*.heif)|*.heic;*.heif|AVIF イメージファイル (*.avif)|*.avif";
// The save dialogs' last filter entry.
inline constexpr const char* SFilterAllFiles = "すべてのファイル|*.*";
inline constexpr const char* STitleExportBMP24 = "BMP形式で書き出し";
inline constexpr const char* STitleExportBMP32 = "アルファチャンネル付きBMP形式で書き出し";
inline constexpr const char* STitleExportPNG = "PNG形式で書き出し";
inline constexpr const char* SCaptionError = "エラー";  // the box refusing a file by its name
// The About box: product name, product version, legal copyright, the author's home page.
inline constexpr const char* SAboutText = "%1 Version%2\r%3\r%4";

// ---- Errors ----
inline constexpr const char* SOutOfMemory = "メモリが不足しています";
inline constexpr const char* SUnknownError = "原因不明のエラーが発生しました";
