#pragma once

// What a call raises, for checking messages and whole exception chains: the one helper of the
// test suite for it.

#include <optional>
#include <string>
#include <sx/SxException.h>
#include <vector>

namespace vo::test {

using Messages = std::vector<std::string>;

/// The SxException that call throws, or nothing when it throws none.
template <class Call>
std::optional<SxException> raisedBy(Call&& call) {
   try {
      call();
   } catch (const SxException& e) {
      return e;
   }
   return std::nullopt;
}

/// The messages of the SxException chain that call throws, outermost first; empty when it
/// throws nothing.
template <class Call>
Messages messagesOf(Call&& call) {
   Messages messages;
   if (const auto e = raisedBy(call))
      for (const SxString& m : e->getMessages())
         messages.push_back(m.str());
   return messages;
}

/// The outermost message of the SxException that call throws, or "<nothing thrown>".
template <class Call>
std::string messageOf(Call&& call) {
   const auto e = raisedBy(call);
   return e ? e->getMessage().str() : "<nothing thrown>";
}

} // namespace vo::test
