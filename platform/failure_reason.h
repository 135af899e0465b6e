// The reason a failure gives, in the words a user expects ("No such file or directory").
#pragma once

#include <exception>
#include <string>
#include <system_error>

namespace platform {

inline std::string failureReason(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::system_error& failure) {
    return failure.code().message();
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace platform
