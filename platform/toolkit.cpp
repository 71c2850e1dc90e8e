// The parts of the toolkit layer that every backend shares.
#include "platform/toolkit.h"

namespace zelbo::toolkit {

bool CallHandler(const Handler& handler) {
  try {
    handler();
    return true;
  } catch (const Exception& error) {
    Application::Instance().ShowException(error);
    return false;
  }
}

std::string StandardErrorText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text.push_back('.');
  return text;
}

}  // namespace zelbo::toolkit
