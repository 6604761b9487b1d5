#include "remedies/remedy_io.h"

namespace quarn::remedies {

RemedyIo& RemedyIo::system() {
  static RemedyIo io;
  return io;
}

}  // namespace quarn::remedies
