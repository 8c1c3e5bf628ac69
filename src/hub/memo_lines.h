// TMemoLines: the lines of one memo of the monitor window, kept without any widget.
//
// The hub writes its memos here; the window mirrors every change into its text control through
// the On* hooks, and the program log receives every added line through OnLog, so a server
// without a window shows the same text. A limit (0 = none) drops the oldest line whenever an
// added line would make the memo longer than the limit. Main thread only.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

namespace tarvel::hub {

class TMemoLines {
 public:
  explicit TMemoLines(std::string name, std::size_t limit = 0);
  TMemoLines(const TMemoLines&) = delete;
  TMemoLines& operator=(const TMemoLines&) = delete;

  const std::string& Name() const { return name_; }
  std::size_t Count() const { return lines_.size(); }
  const std::deque<std::string>& Lines() const { return lines_; }

  void Add(std::string line);
  // Removes up to n of the oldest lines.
  void RemoveFirst(std::size_t n);
  void Clear();
  // The periodic trim: more than 1010 lines lose their first 10.
  void TrimLong();

  std::function<void(const std::string& line)> OnAdded;
  std::function<void(std::size_t n)> OnRemovedFront;
  std::function<void()> OnCleared;
  std::function<void(const std::string& memo, const std::string& line)> OnLog;

  static constexpr std::size_t kTrimAbove = 1010;
  static constexpr std::size_t kTrimBy = 10;

 private:
  std::string name_;
  std::size_t limit_;
  std::deque<std::string> lines_;
};

}  // namespace tarvel::hub
