#pragma once

#include <cstdint>
#include <memory>
#include <sx/SxException.h>
#include <sx/SxExport.h>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <sx/SxVariant.h>
#include <vector>

class SxJSONParser;
class SxSchema;

namespace sx::detail {
struct JsonTree;

/// The steps from a tree's root to a node. Paths of the usual depths are held inline, so that a
/// handle costs no allocation.
class SymbolPath {
public:
   [[nodiscard]] std::size_t size() const { return size_; }
   [[nodiscard]] uint32_t operator[](std::size_t i) const {
      return i < kInline ? inline_[i] : deeper_[i - kInline];
   }
   void push_back(uint32_t step) {
      if (size_ < kInline)
         inline_[size_] = step;
      else
         deeper_.push_back(step);
      ++size_;
   }

private:
   static constexpr std::size_t kInline = 6;
   uint32_t inline_[kInline] = {};
   uint32_t size_ = 0;
   std::vector<uint32_t> deeper_;
};
} // namespace sx::detail

namespace SxParserKit {

/// One node of a parsed or built JSON tree. Symbols are light handles: copies refer to the same
/// node, and the tree lives as long as any symbol of it.
///
/// Handles are stable: a symbol names its node by its place in the tree (the member or element
/// index on each level below the root), so appending anywhere, which may move a node's siblings
/// in memory, never leaves an older symbol behind on a stale copy. A symbol whose place is gone
/// (its parent was emptied with setType) raises "InvalidOperation" on every use.
///
/// Failures raise SxException with a tag: "InvalidInput" for a missing required member,
/// "InvalidOperation" for a node of another type than asked, "IOError" when writing fails.
class SXPARSERKIT_API SxSymbol {
public:
   enum Type { Undefined, Null, Bool, Int, Double, String, List, Group };

   /// An invalid symbol, as an optional lookup gives for a missing member.
   SxSymbol();
   /// The root of a new, empty tree (of type Null).
   static SxSymbol newTree(const SxString& sourceName = "");

   /// False for the invalid symbol.
   [[nodiscard]] bool isValid() const { return tree_ != nullptr; }
   [[nodiscard]] Type getType() const;
   /// Where the node is, such as "registry[3].key", for messages. Worked out when asked, since
   /// only messages need it; a member that is gone shows as its number, such as "#2".
   [[nodiscard]] SxString getLocation() const;

   /// The member name of this object node. A missing member raises when required and gives the
   /// invalid symbol otherwise; a node that is not an object raises.
   [[nodiscard]] SxSymbol getElem(const SxString& name, bool required = true) const;
   [[nodiscard]] int64_t toInt() const;
   [[nodiscard]] SxString toString() const;
   /// The elements of this array node, in order.
   [[nodiscard]] SxList<SxSymbol> toList() const;

   /// Makes this node an empty node of the type (Group for an object, List for an array).
   void setType(Type type);
   /// Adds a member to this object node and returns it.
   SxSymbol append(const SxString& name, const SxVariant& value);
   /// Adds an empty object (Group) or array (List) member to this object node and returns it.
   SxSymbol append(const SxString& name, Type type);
   /// Adds an element to this array node and returns it.
   SxSymbol append(const SxVariant& value);
   SxSymbol append(Type type);

   /// The tree below this node as indented JSON text.
   ///
   /// Text values are written as they are, between quotes: a text is taken to be in JSON string
   /// form already, so its escapes reach a reader unchanged and a reader undoes them. Only what
   /// would not be valid JSON is escaped: a backslash that does not begin a valid escape, a
   /// double quote, and control characters. The output therefore always parses.
   [[nodiscard]] SxString toJSON() const;
   /// Writes toJSON() to the named file, replacing it. Raises "IOError" on failure.
   void write(const SxString& path) const;

private:
   SxSymbol(std::shared_ptr<sx::detail::JsonTree> tree, sx::detail::SymbolPath path, void* node);
   /// The tree's rapidjson value for this symbol, found again from the root when the tree has
   /// changed shape since it was last found.
   [[nodiscard]] void* node() const;
   /// The node, after checking that it has the type.
   void* requireType(Type type, const char* what) const;
   [[nodiscard]] SxSymbol child(uint32_t step, void* node) const;
   /// Checks this node for the type and takes it as the node to append to.
   void* prepareAppend(Type type, const char* what);
   /// The symbol of the member or element just added to this node.
   SxSymbol appendedMember();
   SxSymbol appendedElement();

   std::shared_ptr<sx::detail::JsonTree> tree_;
   sx::detail::SymbolPath path_; // one step per level below the root (see SxSymbol.cpp)
   void* node_ = nullptr;        // where the node was found, valid while layout_ is the tree's
   uint64_t layout_ = 0;

   friend class ::SxJSONParser;
   friend class ::SxSchema;
};

} // namespace SxParserKit
