#include "win/update.h"

namespace torvane {

void check_for_updates(const std::shared_ptr<UpdaterState>&, bool) {}

void start_install(const std::shared_ptr<UpdaterState>&) {}

void cleanup_after_update() {}

}  // namespace torvane
