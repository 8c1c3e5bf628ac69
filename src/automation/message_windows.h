// TMessageWindows: client windows and registered window messages, without D-Bus.
//
// Clients create named "windows" that the server can find by title, as FindWindowA finds a
// top-level window; a message posted to a window goes to the peer that owns it through
// OnPost and is never waited for. Handles start at 1 and are never reused within a run, so a
// stale handle cannot reach another program's window. A peer's windows vanish when it leaves.
// Registered message numbers start at 0xC000; the same name (case-insensitive) gives the same
// number to every caller. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "base/status.h"

namespace tarvel::automation {

class TMessageWindows {
 public:
  static constexpr std::uint32_t kFirstMessage = 0xC000;
  static constexpr std::uint32_t kLastMessage = 0xFFFF;
  static constexpr std::size_t kMaxNameBytes = 255;
  static constexpr std::size_t kMaxTitleBytes = 1024;
  static constexpr std::size_t kMaxWindowsPerOwner = 256;

  using PostHook =
      std::function<void(const std::string& owner, std::uint32_t handle, std::uint32_t msg,
                         std::uint32_t wparam, std::int32_t lparam)>;
  PostHook OnPost;

  base::Result<std::uint32_t> RegisterWindowMessage(std::string_view name);
  base::Result<std::uint32_t> CreateWindow(const std::string& owner, const std::string& title);
  base::Status DestroyWindow(const std::string& owner, std::uint32_t handle);
  void RemoveOwner(const std::string& owner);

  // The oldest window with exactly this title; 0 when there is none (or the title is empty).
  std::uint32_t FindWindow(const std::string& title) const;
  bool IsWindow(std::uint32_t handle) const { return windows_.count(handle) != 0; }
  std::size_t WindowCount() const { return windows_.size(); }
  // Posts to the owner of `handle`; false (nothing sent) when no such window exists.
  bool PostMessage(std::uint32_t handle, std::uint32_t msg, std::uint32_t wparam,
                   std::int32_t lparam);

 private:
  struct Window {
    std::string owner;
    std::string title;
  };
  std::map<std::uint32_t, Window> windows_;        // ordered by handle, so oldest first
  std::map<std::string, std::uint32_t> messages_;  // by lower-cased name
  std::uint32_t nextHandle_ = 1;
};

}  // namespace tarvel::automation
