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

int hexDigit(char c) {
   if (c >= '0' && c <= '9')
      return c - '0';
   if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
   if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
   return -1;
}

// The code unit of a "\uXXXX" escape starting at text[i], or -1 when there is none.
long escapedUnit(std::string_view text, std::size_t i) {
   if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u')
      return -1;
   long unit = 0;
   for (std::size_t k = i + 2; k < i + 6; ++k) {
      const int digit = hexDigit(text[k]);
      if (digit < 0)
         return -1;
      unit = unit * 16 + digit;
   }
   return unit;
}

// How many bytes of an escape starting at text[i] pass through unchanged: 0 when the backslash
// begins no valid escape (a lone surrogate escape would not parse, so it counts as none).
std::size_t validEscapeLength(std::string_view text, std::size_t i) {
   const char next = i + 1 < text.size() ? text[i + 1] : '\0';
   if (next && std::string_view("\"\\/bfnrt").find(next) != std::string_view::npos)
      return 2;
   const long unit = escapedUnit(text, i);
   if (unit >= 0xD800 && unit <= 0xDBFF) {
      const long low = escapedUnit(text, i + 6);
      return low >= 0xDC00 && low <= 0xDFFF ? 12 : 0;
   }
   return unit >= 0 && (unit < 0xDC00 || unit > 0xDFFF) ? 6 : 0;
}

// JSON text is Unicode: a lone surrogate (a "\udc00" escape read in, or a name byte that does
// not decode, both held as WTF-8 and so led by 0xED) is written as U+FFFD, so that what is
// written always reads back.
bool mayHoldSurrogates(std::string_view text) {
   return text.find('\xED') != std::string_view::npos;
}

// Appends a text between quotes as it is, escaping only what would make the JSON invalid.
void quoteAsIs(std::string_view text, std::string& out) {
   const std::size_t start = out.size();
   out += '"';
   std::size_t pending = 0; // the first byte not yet appended
   for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c != '\\' && c != '"')
         continue;
      out.append(text.data() + pending, i - pending);
      if (c == '\\') {
         if (const std::size_t n = validEscapeLength(text, i)) {
            out.append(text.data() + i, n);
            i += n - 1;
         } else {
            out += "\\\\";
         }
      } else if (c == '"') {
         out += "\\\"";
      } else {
         char escaped[8];
         std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
         out += escaped;
      }
      pending = i + 1;
   }
   out.append(text.data() + pending, text.size() - pending);
   out += '"';
   if (mayHoldSurrogates(std::string_view(out).substr(start))) {
      const std::string clean = SxUtf::sanitize(std::string_view(out).substr(start));
      out.replace(start, std::string::npos, clean);
   }
}

// Where the writer's text goes: a string, or a file in large pieces, so that a large tree is
// never held twice.
struct StringSink {
   using Ch = char;
   void Put(char c) { text.push_back(c); }
   void Flush() {}
   std::string text;
};

class FileSink {
public:
   using Ch = char;
   explicit FileSink(SxAtomicFile& file) : file_(file) { pending_.reserve(kPiece); }
   void Put(char c) {
      pending_.push_back(c);
      if (pending_.size() >= kPiece)
         Flush();
   }
   void Flush() {
      file_.write(pending_.data(), static_cast<int64_t>(pending_.size()));
      pending_.clear();
   }

private:
   static constexpr std::size_t kPiece = 1 << 20;
   SxAtomicFile& file_;
   std::string pending_;
};

// Writes a value with the indented layout; texts go out as they are (see quoteAsIs).
template <class Writer>
class Emitter {
public:
   explicit Emitter(Writer& w) : w_(w) {}

   void emit(const rapidjson::Value& v) {
      switch (v.GetType()) {
      case rapidjson::kNullType:
         w_.Null();
         break;
      case rapidjson::kFalseType:
         w_.Bool(false);
         break;
      case rapidjson::kTrueType:
         w_.Bool(true);
         break;
      case rapidjson::kStringType:
         scratch_.clear();
         quoteAsIs(std::string_view(v.GetString(), v.GetStringLength()), scratch_);
         w_.RawValue(scratch_.data(), scratch_.size(), rapidjson::kStringType);
         break;
      case rapidjson::kNumberType:
         if (v.IsInt64())
            w_.Int64(v.GetInt64());
         else if (v.IsUint64())
            w_.Uint64(v.GetUint64());
         else
            w_.Double(v.GetDouble());
         break;
      case rapidjson::kArrayType:
         w_.StartArray();
         for (const auto& e : v.GetArray())
            emit(e);
         w_.EndArray();
         break;
      case rapidjson::kObjectType:
         w_.StartObject();
         for (const auto& m : v.GetObject()) {
            const std::string_view name(m.name.GetString(), m.name.GetStringLength());
            if (mayHoldSurrogates(name)) {
               const std::string clean = SxUtf::sanitize(name);
               w_.Key(clean.data(), static_cast<rapidjson::SizeType>(clean.size()));
            } else {
               w_.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
            }
            emit(m.value);
         }
         w_.EndObject();
         break;
      }
   }

private:
   Writer& w_;
   std::string scratch_; // one quoted text, reused
};

template <class Sink>
void writeIndented(const rapidjson::Value& v, Sink& sink) {
   rapidjson::PrettyWriter<Sink> writer(sink);
   writer.SetIndent(' ', 2);
   Emitter<rapidjson::PrettyWriter<Sink>>(writer).emit(v);
   sink.Put('\n');
   sink.Flush();
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

SxSymbol::SxSymbol(std::shared_ptr<JsonTree> tree, sx::detail::SymbolPath path, void* node)
    : tree_(std::move(tree)), path_(std::move(path)), node_(node), layout_(tree_->layout) {}

SxSymbol SxSymbol::newTree(const SxString& sourceName) {
   auto tree = std::make_shared<JsonTree>();
   tree->sourceName = sourceName;
   rapidjson::Value* root = &tree->doc;
   return SxSymbol(std::move(tree), {}, root);
}

void* SxSymbol::node() const {
   if (!tree_ || layout_ == tree_->layout)
      return node_;
   rapidjson::Value* v = &tree_->doc;
   for (std::size_t k = 0; k < path_.size(); ++k) {
      const uint32_t step = path_[k];
      const rapidjson::SizeType i = step / 2;
      const bool member = step % 2 == 1;
      if (member ? !v->IsObject() || i >= v->MemberCount() : !v->IsArray() || i >= v->Size())
         throw SxException("InvalidOperation",
                           getLocation() + " in '" + tree_->sourceName + "' no longer exists",
                           kSource);
      v = member ? &(v->MemberBegin() + i)->value : &(*v)[i];
   }
   return v;
}

SxSymbol SxSymbol::child(uint32_t step, void* node) const {
   sx::detail::SymbolPath path = path_;
   path.push_back(step);
   return SxSymbol(tree_, std::move(path), node);
}

SxString SxSymbol::getLocation() const {
   if (!tree_)
      return "(undefined)";
   // Walked from the root, naming members while they are there.
   std::string where = "(root)";
   const rapidjson::Value* v = &tree_->doc;
   for (std::size_t k = 0; k < path_.size(); ++k) {
      const rapidjson::SizeType i = path_[k] / 2;
      if (path_[k] % 2 == 1) {
         if (where == "(root)")
            where.clear();
         else
            where += '.';
         if (v && v->IsObject() && i < v->MemberCount()) {
            const auto member = v->MemberBegin() + i;
            where.append(member->name.GetString(), member->name.GetStringLength());
            v = &member->value;
         } else {
            where += '#';
            where += std::to_string(i);
            v = nullptr;
         }
      } else {
         where += '[';
         where += std::to_string(i);
         where += ']';
         v = v && v->IsArray() && i < v->Size() ? &(*v)[i] : nullptr;
      }
   }
   return SxString(std::move(where));
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
                        getLocation() + " in '" + tree_->sourceName + "' is not " + what, kSource);
   return n;
}

SxSymbol SxSymbol::getElem(const SxString& name, bool required) const {
   // Searched through a const view, so that both sides of the comparison are const iterators.
   const rapidjson::Value& v = value(requireType(Group, "an object"));
   const auto member = v.FindMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes())));
   if (member == v.MemberEnd()) {
      if (required) {
         const SxString parent = getLocation();
         const SxString where = parent == "(root)" ? name : parent + "." + name;
         throw SxException("InvalidInput",
                           "Required member '" + where + "' missing in '" + tree_->sourceName + "'",
                           kSource);
      }
      return SxSymbol();
   }
   return child(memberStep(static_cast<rapidjson::SizeType>(member - v.MemberBegin())),
                const_cast<rapidjson::Value*>(&member->value));
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
   elems.reserve(v.Size());
   for (rapidjson::SizeType i = 0; i < v.Size(); ++i)
      elems.append(child(elementStep(i), &v[i]));
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

SxSymbol SxSymbol::appendedMember() {
   // Adding may have moved this node's children, never this node itself.
   layout_ = ++tree_->layout;
   rapidjson::Value& v = value(node_);
   return child(memberStep(v.MemberCount() - 1), &(v.MemberEnd() - 1)->value);
}

SxSymbol SxSymbol::appendedElement() {
   layout_ = ++tree_->layout;
   rapidjson::Value& v = value(node_);
   return child(elementStep(v.Size() - 1), &v[v.Size() - 1]);
}

SxSymbol SxSymbol::append(const SxString& name, const SxVariant& variant) {
   rapidjson::Value& v = value(prepareAppend(Group, "an object"));
   auto& alloc = tree_->doc.GetAllocator();
   v.AddMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes()), alloc),
       makeValue(variant, alloc), alloc);
   return appendedMember();
}

SxSymbol SxSymbol::append(const SxString& name, Type type) {
   rapidjson::Value& v = value(prepareAppend(Group, "an object"));
   auto& alloc = tree_->doc.GetAllocator();
   v.AddMember(
       rapidjson::Value(name.utf8(), static_cast<rapidjson::SizeType>(name.getNBytes()), alloc),
       makeEmpty(type), alloc);
   return appendedMember();
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
   StringSink sink;
   writeIndented(value(node()), sink);
   return SxString(std::move(sink.text));
}

void SxSymbol::write(const SxString& path) const {
   if (!tree_)
      throw SxException("InvalidOperation", "Cannot write an undefined symbol", kSource);
   const rapidjson::Value& root = value(node());
   try {
      // Written beside and renamed into place: a reader never meets half a tree.
      SxAtomicFile file(path, 0644);
      FileSink sink(file);
      writeIndented(root, sink);
      file.commit();
   } catch (const SxException& e) {
      throw SxException("IOError", "Cannot write JSON file '" + path + "' : " + e.getMessage(),
                        kSource);
   }
}

} // namespace SxParserKit
