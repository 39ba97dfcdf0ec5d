// Stamps every module with the platform line, found by what(1) in the binary.
#pragma once

namespace {
[[maybe_unused]] const char kPlatformStamp[] = "@(#)     PLATFORM : Linux";
}
