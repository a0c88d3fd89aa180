#pragma once
// The author's web site: its name in the website command's captions, and its address, shown in the
// About box and opened by the website command.
inline constexpr const char* AuthorSiteName = "ルフレミナ・プロジェクト";
inline constexpr const char* AuthorHomePage = "https://rufuremina.example.org/";
