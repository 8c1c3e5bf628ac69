#include "automation/message_windows.h"

#include <algorithm>
#include <cctype>

namespace tarvel::automation {

namespace {
std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}
}  // namespace

base::Result<std::uint32_t> TMessageWindows::RegisterWindowMessage(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) {
    return base::Status::InvalidArgument("message name must have 1.." +
                                         std::to_string(kMaxNameBytes) + " bytes");
  }
  const std::string key = Lower(name);
  if (auto it = messages_.find(key); it != messages_.end()) return it->second;
  const std::uint32_t next = kFirstMessage + static_cast<std::uint32_t>(messages_.size());
  if (next > kLastMessage) return base::Status::OutOfRange("no registered message numbers left");
  messages_.emplace(key, next);
  return next;
}

base::Result<std::uint32_t> TMessageWindows::CreateWindow(const std::string& owner,
                                                          const std::string& title) {
  if (title.size() > kMaxTitleBytes) {
    return base::Status::InvalidArgument("window title longer than " +
                                         std::to_string(kMaxTitleBytes) + " bytes");
  }
  const auto owned = std::count_if(windows_.begin(), windows_.end(),
                                   [&](const auto& w) { return w.second.owner == owner; });
  if (static_cast<std::size_t>(owned) >= kMaxWindowsPerOwner) {
    return base::Status::OutOfRange("a client may own at most " +
                                    std::to_string(kMaxWindowsPerOwner) + " windows");
  }
  if (nextHandle_ == 0) return base::Status::OutOfRange("no window handles left");
  const std::uint32_t handle = nextHandle_++;
  windows_.emplace(handle, Window{owner, title});
  return handle;
}

base::Status TMessageWindows::DestroyWindow(const std::string& owner, std::uint32_t handle) {
  auto it = windows_.find(handle);
  if (it == windows_.end()) return base::Status::NotFound("no window " + std::to_string(handle));
  if (it->second.owner != owner) {
    return base::Status::InvalidArgument("window " + std::to_string(handle) +
                                         " belongs to another client");
  }
  windows_.erase(it);
  return base::Status::Ok();
}

void TMessageWindows::RemoveOwner(const std::string& owner) {
  std::erase_if(windows_, [&](const auto& w) { return w.second.owner == owner; });
}

std::uint32_t TMessageWindows::FindWindow(const std::string& title) const {
  if (title.empty()) return 0;
  for (const auto& [handle, w] : windows_) {
    if (w.title == title) return handle;
  }
  return 0;
}

bool TMessageWindows::PostMessage(std::uint32_t handle, std::uint32_t msg, std::uint32_t wparam,
                                  std::int32_t lparam) {
  auto it = windows_.find(handle);
  if (it == windows_.end()) return false;
  if (OnPost) OnPost(it->second.owner, handle, msg, wparam, lparam);
  return true;
}

}  // namespace tarvel::automation
