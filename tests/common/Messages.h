#pragma once

// The messages that a call raises, for comparing whole exception chains.

#include <string>
#include <sx/SxException.h>
#include <vector>

namespace vo::test {

/// The messages of the SxException chain that call throws, outermost first; empty when it
/// throws nothing.
template <class Call>
std::vector<std::string> messagesOf(Call&& call) {
   std::vector<std::string> messages;
   try {
      call();
   } catch (const SxException& e) {
      for (const SxString& m : e.getMessages())
         messages.push_back(m.str());
   }
   return messages;
}

} // namespace vo::test
