// Marks a command as under way for as long as it runs, however it ends.
#pragma once

namespace zandrex {

class BusyScope {
public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  bool& busy_;
};

} // namespace zandrex
