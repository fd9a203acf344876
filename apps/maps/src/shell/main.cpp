#include "model/types.h"

int main() {
  auto const model = maps::default_map_model();
  return model.places.empty() ? 0 : 1;
}
