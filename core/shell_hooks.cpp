#include "core/shell_hooks.h"

namespace shell_hooks {

std::function<int(int, int)> mode_file_write;
std::function<bool()> take_pending_tip;
std::function<void(int)> tip_create;

}  // namespace shell_hooks
