#include "winui/msgbox.h"

#include <mutex>

#include "base/diag.h"

namespace winui {
namespace {

std::wstring& Title() {
  static std::wstring title;
  return title;
}

std::mutex& SinkLock() {
  static std::mutex m;
  return m;
}

MessageSink& Sink() {
  static MessageSink sink;
  return sink;
}

MessageSink CurrentSink() {
  std::lock_guard<std::mutex> g(SinkLock());
  return Sink();
}

AnswerSeam& Answer() {
  static AnswerSeam answer;
  return answer;
}

}  // namespace

void SetAppTitle(std::wstring_view title) { Title() = title; }
const std::wstring& AppTitle() { return Title(); }

void ShowMessage(HWND owner, std::wstring_view message, std::wstring_view context) {
  std::wstring text;
  text.reserve(message.size() + context.size() + 2);
  text.append(message).append(L"(").append(context).append(L")");
  if (MessageSink sink = CurrentSink()) {
    sink(AppTitle(), text);
    return;
  }
  // A box that cannot be shown is a message the user never sees.
  KOLBRI_LOG_IF_FALSE(MessageBoxW(owner, text.c_str(), AppTitle().c_str(), MB_OK) != 0);
}

void ShowError(HWND owner, std::wstring_view text) {
  const std::wstring t(text);
  if (MessageSink sink = CurrentSink()) {
    sink(AppTitle(), t);
    return;
  }
  KOLBRI_LOG_IF_FALSE(MessageBoxW(owner, t.c_str(), AppTitle().c_str(), MB_OK | MB_ICONSTOP) != 0);
}

bool Ask(HWND owner, std::wstring_view text) {
  const std::wstring t(text);
  if (MessageSink sink = CurrentSink()) {
    sink(AppTitle(), t);
    AnswerSeam answer;
    {
      std::lock_guard<std::mutex> g(SinkLock());
      answer = Answer();
    }
    return answer && answer(t);
  }
  return MessageBoxW(owner, t.c_str(), AppTitle().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void SetAnswerSeam(AnswerSeam answer) {
  std::lock_guard<std::mutex> g(SinkLock());
  Answer() = std::move(answer);
}

void SetMessageSink(MessageSink sink) {
  std::lock_guard<std::mutex> g(SinkLock());
  Sink() = std::move(sink);
}

}  // namespace winui
