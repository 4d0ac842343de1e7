#include "setup/elevated_child.h"

namespace vant {

void keep_user_out(ProcessCommand& command, const PathText& run_folder) {
  for (const std::string_view name : kUserTrustVariables) command.remove_variable(name);
  command.in_folder(run_folder);
}

void give_run_folder_as_temp(ProcessCommand& command, const PathText& run_folder) {
  command.set_variable("TEMP", run_folder).set_variable("TMP", run_folder);
}

}  // namespace vant
