#include "platform/text_pieces.h"

#include "platform/fail_fast.h"

namespace vant {

void TextPieces::overflow() { internal_failure("internal error: too many pieces in one message"); }

}  // namespace vant
