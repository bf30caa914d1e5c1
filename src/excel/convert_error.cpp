#include "excel/convert_error.h"

#include "types.h"

namespace ostrel::excel {

std::string_view error_text(ConvertError error) {
  switch (error) {
    case ConvertError::Ref:
      return ostrel::error_text(EvalError::Ref);
    case ConvertError::Many:
      return ostrel::error_text(EvalError::Many);
    case ConvertError::Value:
      return ostrel::error_text(EvalError::Value);
    case ConvertError::TooLong:
      break;
  }
  return ostrel::error_text(EvalError::Error);
}

}  // namespace ostrel::excel
