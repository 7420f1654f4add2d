#include "explore/pin_question.h"

namespace quorvel {

void WipeSecret(std::string& secret) {
  // Through a volatile pointer, so that the stores are not dropped as dead.
  volatile char* bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = 0;
  secret.clear();
}

}  // namespace quorvel
