#include "excel/convert_error.h"

namespace ostrel::excel {

std::string_view error_text(ConvertError error) {
  switch (error) {
    case ConvertError::Ref:
      return "REF!";
    case ConvertError::Many:
      return "MANY!";
    case ConvertError::Value:
      return "VALUE!";
    case ConvertError::TooLong:
      break;
  }
  return "ERROR!";
}

}  // namespace ostrel::excel
