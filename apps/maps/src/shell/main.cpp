#include "net/http.h"
#include "shell/launch_record.h"

int main(int argc, char** argv) {
  maps::ensure_crypto_provider();
  auto const spec = maps::maps_launch_spec();
  return zarn_ui::launch::run_or_exit(spec, argc, argv);
}
