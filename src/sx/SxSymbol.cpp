// Handles into a parsed JSON tree, and writing the tree back as text.

#include "SxJsonTree.h"

#include <cstdio>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <string>
#include <sx/SxAtomicFile.h>
#include <sx/SxSymbol.h>
#include <sx/SxUtf.h>

using sx::detail::JsonTree;

namespace {

constexpr char kSource[] = "src/sx/SxSymbol";

rapidjson::Value& value(void* node) {
   return *static_cast<rapidjson::Value*>(node);
}

bool isHex(char c) {
   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The code unit of a "\uXXXX" escape starting at text[i], or -1 when there is none.
long escapedUnit(const std::string& text, std::size_t i) {
   if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u')
      return -1;
   for (std::size_t k = i + 2; k < i + 6; ++k)
      if (!isHex(text[k]))
         return -1;
   return std::stol(text.substr(i + 2, 4), nullptr, 16);
}

// Puts a text between quotes as it is, escaping only what would make the JSON invalid.
std::string quoteAsIs(const std::string& text) {
   std::string out = "\"";
   out.reserve(text.size() + 2);
   for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\\') {
         const char next = i + 1 < text.size() ? text[i + 1] : '\0';
         if (next && std::string("\"\\/bfnrt").find(next) != std::string::npos) {
            out.append(text, i, 2);
            ++i;
            continue;
         }
         const long unit = escapedUnit(text, i);
         if (unit >= 0xD800 && unit <= 0xDBFF) {
            const long low = escapedUnit(text, i + 6);
            if (low >= 0xDC00 && low <= 0xDFFF) {
               out.append(text, i, 12);
               i += 11;
               continue;
            }
         } else if (unit >= 0 && (unit < 0xDC00 || unit > 0xDFFF)) {
            out.append(text, i, 6);
            i += 5;
            continue;
         }
         out += "\\\\";
      } else if (c == '"') {
         out += "\\\"";
      } else if (static_cast<unsigned char>(c) < 0x20) {
         char escaped[8];
         std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
         out += escaped;
      } else {
         out += c;
      }
   }
   out += '"';
   return out;
}

template <class Writer>
void emit(Writer& w, const rapidjson::Value& v) {
   switch (v.GetType()) {
   case rapidjson::kNullType:
      w.Null();
      break;
   case rapidjson::kFalseType:
      w.Bool(false);
      break;
   case rapidjson::kTrueType:
      w.Bool(true);
      break;
   case rapidjson::kStringType: {
      const std::string quoted = quoteAsIs(std::string(v.GetString(), v.GetStringLength()));
      w.RawValue(quoted.data(), quoted.size(), rapidjson::kStringType);
      break;
   }
   case rapidjson::kNumberType:
      if (v.IsInt64())
         w.Int64(v.GetInt64());
      else if (v.IsUint64())
         w.Uint64(v.GetUint64());
      else
         w.Double(v.GetDouble());
      break;
   case rapidjson::kArrayType:
      w.StartArray();
      for (const auto& e : v.GetArray())
         emit(w, e);
      w.EndArray();
      break;
   case rapidjson::kObjectType:
      w.StartObject();
      for (const auto& m : v.GetObject()) {
         w.Key(m.name.GetString(), m.name.GetStringLength());
         emit(w, m.value);
      }
      w.EndObject();
      break;
   }
}

} // namespace

namespace SxParserKit {

namespace {

// A path step names a member (odd) or an element (even) by its index in its parent.
uint32_t memberStep(rapidjson::SizeType i) {
   return i * 2 + 1;
}
uint32_t elementStep(rapidjson::SizeType i) {
   return i * 2;
}

SxSymbol::Type typeOf(const rapidjson::Value& v) {
   switch (v.GetType()) {
   case rapidjson::kNullType:
      return SxSymbol::Null;
   case rapidjson::kFalseType:
   case rapidjson::kTrueType:
      return SxSymbol::Bool;
   case rapidjson::kStringType:
      return SxSymbol::String;
   case rapidjson::kArrayType:
      return SxSymbol::List;
   case rapidjson::kObjectType:
      return SxSymbol::Group;
   case rapidjson::kNumberType:
      return v.IsInt64() ? SxSymbol::Int : SxSymbol::Double;
   }
   return SxSymbol::Undefined;
}

SxString memberLocation(const SxString& parent, const SxString& name) {
   return parent == "(root)" ? name : parent + "." + name;
}

SxString elementLocation(const SxString& parent, rapidjson::SizeType i) {
   return parent + "[" + SxString(static_cast<unsigned>(i)) + "]";
}

rapidjson::Value makeValue(const SxVariant& variant, rapidjson::Document::AllocatorType& alloc) {
   rapidjson::Value v;
   std::visit(
       [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, bool>)
             v.SetBool(x);
          else if constexpr (std::is_same_v<T, int64_t>)
             v.SetInt64(x);
          else if constexpr (std::is_same_v<T, double>)
             v.SetDouble(x);
          else if constexpr (std::is_same_v<T, SxString>)
             v.SetString(x.utf8(), static_cast<rapidjson::SizeType>(x.getNBytes()), alloc);
       },
       variant.get());
   return v;
}

rapidjson::Value makeEmpty(SxSymbol::Type type) {
   if (type == SxSymbol::Group)
      return rapidjson::Value(rapidjson::kObjectType);
   if (type == SxSymbol::List)
      return rapidjson::Value(rapidjson::kArrayType);
   throw SxException("InvalidOperation", "Only objects and lists can be appended empty", kSource);
}

} // namespace

SxSymbol::SxSymbol() = default;

SxSymbol::SxSymbol(std::shared_ptr<JsonTree> tree, std::vector<uint32_t> path, void* node,
                   SxString location)
    : tree_(std::move(tree)), path_(std::move(path)), node_(node), layout_(tree_->layout),
      location_(std::move(location)) {}

SxSymbol SxSymbol::newTree(const SxString& sourceName) {
   auto tree = std::make_shared<JsonTree>();
   tree->sourceName = sourceName;
   rapidjson::Value* root = &tree->doc;
   return SxSymbol(std::move(tree), {}, root, "(root)");
}

void* SxSymbol::node() const {
   if (!tree_ || layout_ == tree_->layout)
      return node_;
   rapidjson::Value* v = &tree_->doc;
   for (const uint32_t step : path_) {
      const rapidjson::SizeType i = step / 2;
      const bool member = step % 2 == 1;
      if (member ? !v->IsObject() || i >= v->MemberCount() : !v->IsArray() || i >= v->Size())
         throw SxException("InvalidOperation",
                           location_ + " in '" + tree_->sourceName + "' no longer exists", kSource);
      v = member ? &(v->MemberBegin() + i)->value : &(*v)[i];
   }
   return v;
}

SxSymbol SxSymbol::child(uint32_t step, void* node, SxString location) const {
   std::vector<uint32_t> path;
   path.reserve(path_.size() + 1);
   path = path_;
   path.push_back(step);
   return SxSymbol(tree_, std::move(path), node, std::move(location));
}

SxSymbol::Type SxSymbol::getType() const {
   return tree_ ? typeOf(value(node())) : Undefined;
}

void* SxSymbol::requireType(Type type, const char* what) const {
   if (!tree_)
      throw SxException("InvalidOperation", SxString("Cannot take an undefined symbol as ") + what,
                        kSource);
   void* n = node();
   if (typeOf(value(n)) != type)
      throw SxException("InvalidOperation",
                        location_ + " in '" + tree_->sourceName + "' is not " + what, kSource);
   return n;
}

SxSymbol SxSymbol::getElem(const SxString& name, bool required) const {
   // Searched through a const view, so that both sides of the comparison are const iterators.
   const rapidjson::Value& v = value(requireType(Group, "an object"));
   const auto member = v.FindMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes())));
   const SxString where = memberLocation(location_, name);
   if (member == v.MemberEnd()) {
      if (required)
         throw SxException("InvalidInput",
                           "Required member '" + where + "' missing in '" + tree_->sourceName + "'",
                           kSource);
      return SxSymbol();
   }
   return child(memberStep(static_cast<rapidjson::SizeType>(member - v.MemberBegin())),
                const_cast<rapidjson::Value*>(&member->value), where);
}

int64_t SxSymbol::toInt() const {
   return value(requireType(Int, "an integer")).GetInt64();
}

SxString SxSymbol::toString() const {
   const rapidjson::Value& v = value(requireType(String, "a text"));
   return SxString::fromUtf8(v.GetString(), v.GetStringLength());
}

SxList<SxSymbol> SxSymbol::toList() const {
   rapidjson::Value& v = value(requireType(List, "a list"));
   SxList<SxSymbol> elems;
   for (rapidjson::SizeType i = 0; i < v.Size(); ++i)
      elems.append(child(elementStep(i), &v[i], elementLocation(location_, i)));
   return elems;
}

void SxSymbol::setType(Type type) {
   if (!tree_)
      throw SxException("InvalidOperation", "Cannot set the type of an undefined symbol", kSource);
   rapidjson::Value& v = value(node());
   switch (type) {
   case Group:
      v.SetObject();
      break;
   case List:
      v.SetArray();
      break;
   case Null:
      v.SetNull();
      break;
   default:
      throw SxException("InvalidOperation", "Only objects, lists and null can be set empty",
                        kSource);
   }
   // The children are gone; this node stays where it is.
   node_ = &v;
   layout_ = ++tree_->layout;
}

void* SxSymbol::prepareAppend(Type type, const char* what) {
   node_ = requireType(type, what);
   layout_ = tree_->layout;
   return node_;
}

SxSymbol SxSymbol::appendedMember(const SxString& name) {
   // Adding may have moved this node's children, never this node itself.
   layout_ = ++tree_->layout;
   rapidjson::Value& v = value(node_);
   return child(memberStep(v.MemberCount() - 1), &(v.MemberEnd() - 1)->value,
                memberLocation(location_, name));
}

SxSymbol SxSymbol::appendedElement() {
   layout_ = ++tree_->layout;
   rapidjson::Value& v = value(node_);
   return child(elementStep(v.Size() - 1), &v[v.Size() - 1],
                elementLocation(location_, v.Size() - 1));
}

SxSymbol SxSymbol::append(const SxString& name, const SxVariant& variant) {
   rapidjson::Value& v = value(prepareAppend(Group, "an object"));
   auto& alloc = tree_->doc.GetAllocator();
   v.AddMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes()), alloc),
       makeValue(variant, alloc), alloc);
   return appendedMember(name);
}

SxSymbol SxSymbol::append(const SxString& name, Type type) {
   rapidjson::Value& v = value(prepareAppend(Group, "an object"));
   auto& alloc = tree_->doc.GetAllocator();
   v.AddMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes()), alloc),
       makeEmpty(type), alloc);
   return appendedMember(name);
}

SxSymbol SxSymbol::append(const SxVariant& variant) {
   rapidjson::Value& v = value(prepareAppend(List, "a list"));
   v.PushBack(makeValue(variant, tree_->doc.GetAllocator()), tree_->doc.GetAllocator());
   return appendedElement();
}

SxSymbol SxSymbol::append(Type type) {
   rapidjson::Value& v = value(prepareAppend(List, "a list"));
   v.PushBack(makeEmpty(type), tree_->doc.GetAllocator());
   return appendedElement();
}

SxString SxSymbol::toJSON() const {
   if (!tree_)
      throw SxException("InvalidOperation", "Cannot write an undefined symbol", kSource);
   rapidjson::StringBuffer buffer;
   rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
   writer.SetIndent(' ', 2);
   emit(writer, value(node()));
   // JSON text is Unicode: a lone surrogate (a "\\udc00" escape read in, or a name byte that does
   // not decode) is written as U+FFFD, so that what is written always reads back.
   return SxString(SxUtf::sanitize(std::string_view(buffer.GetString(), buffer.GetSize())) + "\n");
}

void SxSymbol::write(const SxString& path) const {
   const SxString text = toJSON();
   try {
      // Written beside and renamed into place: a reader never meets half a tree.
      SxAtomicFile file(path, 0644);
      file.write(text);
      file.commit();
   } catch (const SxException& e) {
      throw SxException("IOError", "Cannot write JSON file '" + path + "' : " + e.getMessage(),
                        kSource);
   }
}

} // namespace SxParserKit
