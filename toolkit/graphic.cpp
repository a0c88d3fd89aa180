#include "toolkit/graphic.h"

#include "toolkit/safe_file.h"

bool InheritsFrom(const TGraphicClass& cls, const TGraphicClass& ancestor) {
  for (const TGraphicClass* c = &cls; c != nullptr; c = c->Parent)
    if (c == &ancestor) return true;
  return false;
}

std::string AssignErrorMessage(std::string_view source, std::string_view target) {
  return FormatMessage(FormatMessage(SAssignError, std::string(source)).c_str(), std::string(target));
}

void TGraphic::SaveToFile(const std::string& fileName) const {
  WriteFileSafely(fileName, [this](TStream& stream) { SaveToStream(stream); });
}

void TGraphic::ChangeTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  Changed();
}

void TGraphic::Changed() {
  modified_ = true;
  if (OnChange) OnChange(*this);
}
