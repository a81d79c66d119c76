// registry-diff-compare OURS WINDOWS LIST: compares the outputs of registry-diff on our store
// and on Windows' registry line by line. Every differing line is put in a class of difference;
// a class not named in LIST (deliberate-differences.txt), or a difference of no known class,
// fails the comparison. Exit 0: only listed differences; 1: others; 2: bad command line.

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> readLines(const std::string& file) {
   std::ifstream in(file, std::ios::binary);
   if (!in)
      throw std::runtime_error("cannot read " + file);
   std::vector<std::string> lines;
   for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r')
         line.pop_back();
      lines.push_back(line);
   }
   return lines;
}

std::vector<std::string> words(const std::string& line) {
   std::istringstream in(line);
   return {std::istream_iterator<std::string>(in), {}};
}

// The words after "->", sorted, with the status of the tight buffer apart from the name it was
// asked for: what an enumeration found, in any order.
std::vector<std::string> listed(const std::vector<std::string>& line) {
   auto from = std::find(line.begin(), line.end(), "->");
   std::vector<std::string> out(from == line.end() ? from : from + 1, line.end());
   std::string tightStatus;
   for (std::string& word : out)
      if (const auto tight = word.find("(tight:"); tight != std::string::npos) {
         tightStatus = word.substr(tight, word.rfind(':') - tight);
         word.resize(tight);
      }
   out.push_back(tightStatus);
   std::sort(out.begin(), out.end());
   return out;
}

// The class of a difference between our line and Windows' line for the same call, or "".
std::string classify(const std::string& ours, const std::string& windows) {
   const std::vector<std::string> a = words(ours), b = words(windows);
   if (a.size() < 3 || b.size() < 3 || a[1] != b[1])
      return "";
   const std::string& op = a[1];
   std::vector<std::string> windowsLike = a;
   std::ranges::replace(windowsLike, std::string("disp=2"), std::string("disp=1"));
   if (op == "create" && (a[3] == "\"\"" || a[3] == "null") && windowsLike == b)
      return "create-empty-path-disposition";
   // The handle's rights are shown as sN(0xRIGHTS).
   if (op == "info" && a.size() == 5 && a[4] == "5" && b[4] == "0" &&
       !(std::stoul(a[2].substr(a[2].find("(0x") + 3), nullptr, 16) & 0x0001))
      return "query-info-without-query-value";
   if ((op == "enumkeys" || op == "enumvalues") && listed(a) == listed(b))
      return op == "enumkeys" ? "subkey-order" : "value-order";
   return "";
}

// "NAME: reason" lines; blank lines and lines starting with # are comments.
std::set<std::string> allowedClasses(const std::string& file) {
   std::set<std::string> names;
   for (const std::string& line : readLines(file)) {
      if (line.empty() || line[0] == '#')
         continue;
      const auto colon = line.find(':');
      if (colon == std::string::npos || colon + 1 >= line.size())
         throw std::runtime_error(file + ": a class needs a reason: " + line);
      names.insert(line.substr(0, colon));
   }
   return names;
}

} // namespace

int main(int argc, char** argv) {
   if (argc != 4) {
      std::cerr << "usage: registry-diff-compare OURS WINDOWS LIST\n";
      return 2;
   }
   try {
      const std::vector<std::string> ours = readLines(argv[1]), windows = readLines(argv[2]);
      const std::set<std::string> allowed = allowedClasses(argv[3]);
      std::map<std::string, int> counts;
      int failures = 0;
      for (std::size_t i = 0; i < std::max(ours.size(), windows.size()); ++i) {
         const std::string a = i < ours.size() ? ours[i] : "<no line>";
         const std::string b = i < windows.size() ? windows[i] : "<no line>";
         if (a == b)
            continue;
         const std::string kind = classify(a, b);
         if (!kind.empty() && allowed.count(kind))
            ++counts[kind];
         else if (++failures <= 5) // the first say what went wrong; the rest follow from them
            std::cerr << (kind.empty() ? "difference of no listed class"
                                       : "difference of unlisted class " + kind)
                      << "\n  ours:    " << a << "\n  windows: " << b << "\n";
      }
      for (const auto& [kind, count] : counts)
         std::cout << kind << ": " << count << " lines\n";
      if (failures)
         std::cerr << failures << " lines differ beyond the deliberate differences\n";
      return failures ? 1 : 0;
   } catch (const std::exception& e) {
      std::cerr << "registry-diff-compare: " << e.what() << "\n";
      return 2;
   }
}
