#pragma once

#include <sx/SxExport.h>
#include <sx/SxString.h>

/// The foundation's log channels: a process-wide set of named components whose log output is
/// switched on. Output of a component that is not enabled is dropped. Safe from any thread.
class SXUTIL_API SxLog {
public:
   /// Switches on the output of component; enabling it again changes nothing.
   static void enable(const SxString& component);
   /// Switches it off again.
   static void disable(const SxString& component);
   [[nodiscard]] static bool isEnabled(const SxString& component);
   /// Writes "[component] message" and a line end to standard error when component is enabled.
   static void print(const SxString& component, const SxString& message);
};
