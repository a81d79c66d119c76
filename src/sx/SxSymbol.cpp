#include "SxJsonTree.h"

#include <cstdio>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <string>
#include <sx/SxFileIO.h>
#include <sx/SxSymbol.h>

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

SxSymbol::SxSymbol() = default;

SxSymbol::SxSymbol(std::shared_ptr<JsonTree> tree, void* node, SxString location)
    : tree_(std::move(tree)), node_(node), location_(std::move(location)) {}

SxSymbol SxSymbol::newTree(const SxString& sourceName) {
   auto tree = std::make_shared<JsonTree>();
   tree->sourceName = sourceName;
   void* root = &tree->doc;
   return SxSymbol(std::move(tree), root, "(root)");
}

SxSymbol::Type SxSymbol::getType() const {
   if (!node_)
      return Undefined;
   const rapidjson::Value& v = value(node_);
   switch (v.GetType()) {
   case rapidjson::kNullType:
      return Null;
   case rapidjson::kFalseType:
   case rapidjson::kTrueType:
      return Bool;
   case rapidjson::kStringType:
      return String;
   case rapidjson::kArrayType:
      return List;
   case rapidjson::kObjectType:
      return Group;
   case rapidjson::kNumberType:
      return v.IsInt64() ? Int : Double;
   }
   return Undefined;
}

void SxSymbol::requireType(Type type, const char* what) const {
   if (!node_)
      throw SxException("InvalidOperation", SxString("Cannot take an undefined symbol as ") + what,
                        kSource);
   if (getType() != type)
      throw SxException("InvalidOperation",
                        location_ + " in '" + tree_->sourceName + "' is not " + what, kSource);
}

SxSymbol SxSymbol::getElem(const SxString& name, bool required) const {
   requireType(Group, "an object");
   // Searched through a const view, so that both sides of the comparison are const iterators.
   const rapidjson::Value& v = value(node_);
   const auto member = v.FindMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes())));
   const SxString where = location_ == "(root)" ? name : location_ + "." + name;
   if (member == v.MemberEnd()) {
      if (required)
         throw SxException("InvalidInput",
                           "Required member '" + where + "' missing in '" + tree_->sourceName + "'",
                           kSource);
      return SxSymbol();
   }
   return SxSymbol(tree_, const_cast<rapidjson::Value*>(&member->value), where);
}

int64_t SxSymbol::toInt() const {
   requireType(Int, "an integer");
   return value(node_).GetInt64();
}

SxString SxSymbol::toString() const {
   requireType(String, "a text");
   const rapidjson::Value& v = value(node_);
   return SxString::fromUtf8(v.GetString(), v.GetStringLength());
}

SxList<SxSymbol> SxSymbol::toList() const {
   requireType(List, "a list");
   SxList<SxSymbol> elems;
   rapidjson::Value& v = value(node_);
   for (rapidjson::SizeType i = 0; i < v.Size(); ++i)
      elems.append(
          SxSymbol(tree_, &v[i], location_ + "[" + SxString(static_cast<unsigned>(i)) + "]"));
   return elems;
}

void SxSymbol::setType(Type type) {
   if (!node_)
      throw SxException("InvalidOperation", "Cannot set the type of an undefined symbol", kSource);
   rapidjson::Value& v = value(node_);
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
}

namespace {
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

SxSymbol SxSymbol::append(const SxString& name, const SxVariant& variant) {
   requireType(Group, "an object");
   auto& alloc = tree_->doc.GetAllocator();
   rapidjson::Value& v = value(node_);
   v.AddMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes()), alloc),
       makeValue(variant, alloc), alloc);
   return SxSymbol(tree_, &(v.MemberEnd() - 1)->value, location_ + "." + name);
}

SxSymbol SxSymbol::append(const SxString& name, Type type) {
   requireType(Group, "an object");
   auto& alloc = tree_->doc.GetAllocator();
   rapidjson::Value& v = value(node_);
   v.AddMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes()), alloc),
       makeEmpty(type), alloc);
   return SxSymbol(tree_, &(v.MemberEnd() - 1)->value, location_ + "." + name);
}

SxSymbol SxSymbol::append(const SxVariant& variant) {
   requireType(List, "a list");
   rapidjson::Value& v = value(node_);
   v.PushBack(makeValue(variant, tree_->doc.GetAllocator()), tree_->doc.GetAllocator());
   return SxSymbol(tree_, &v[v.Size() - 1], location_ + "[" + SxString(v.Size() - 1) + "]");
}

SxSymbol SxSymbol::append(Type type) {
   requireType(List, "a list");
   rapidjson::Value& v = value(node_);
   v.PushBack(makeEmpty(type), tree_->doc.GetAllocator());
   return SxSymbol(tree_, &v[v.Size() - 1], location_ + "[" + SxString(v.Size() - 1) + "]");
}

SxString SxSymbol::toJSON() const {
   if (!node_)
      throw SxException("InvalidOperation", "Cannot write an undefined symbol", kSource);
   rapidjson::StringBuffer buffer;
   rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
   writer.SetIndent(' ', 2);
   emit(writer, value(node_));
   return SxString::fromUtf8(buffer.GetString(), static_cast<std::ptrdiff_t>(buffer.GetSize())) +
          "\n";
}

void SxSymbol::write(const SxString& path) const {
   const SxString text = toJSON();
   try {
      SxFileIO io;
      io.open(path, "wb", 0644);
      io.write(text);
      io.close();
   } catch (const SxException& e) {
      throw SxException("IOError", "Cannot write JSON file '" + path + "' : " + e.getMessage(),
                        kSource);
   }
}

} // namespace SxParserKit
