#pragma once
// The author's web site, as the website command names it.
inline constexpr const char* AuthorSiteName = "ルフレミナ・プロジェクト";
