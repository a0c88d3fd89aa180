#pragma once
// Dialogs that a test answers: every message is recorded, and the file dialogs give the answers
// the test put in place (cancel when there is none).
#include <deque>
#include <vector>

#include "app/dialogs.h"

class TRecordingDialogs final : public TDialogs {
 public:
  struct TMessage {
    QString Caption;
    QString Text;
    TMessageIcon Icon;
    TMessagePlace Place;
  };
  struct TFileRequest {
    bool Save;
    TFileDialogRequest Request;
  };

  std::vector<TMessage> Messages;
  std::vector<TFileRequest> FileRequests;
  std::deque<std::optional<QString>> FileAnswers;

  void ShowMessage(QWidget*, const QString& caption, const QString& text, TMessageIcon icon,
                   TMessagePlace place) override {
    Messages.push_back({caption, text, icon, place});
  }
  std::optional<QString> OpenFile(QWidget*, const TFileDialogRequest& request) override {
    return Answer(false, request);
  }
  std::optional<QString> SaveFile(QWidget*, const TFileDialogRequest& request) override {
    return Answer(true, request);
  }

 private:
  std::optional<QString> Answer(bool save, const TFileDialogRequest& request) {
    FileRequests.push_back({save, request});
    if (FileAnswers.empty()) return std::nullopt;
    std::optional<QString> answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }
};
