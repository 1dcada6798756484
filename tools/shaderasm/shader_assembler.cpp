#include "tools/shaderasm/shader_assembler.h"

#include <array>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>

namespace quelt_tools {

namespace {

// --- Preprocessor ---------------------------------------------------------------------------

// #if expressions: integers, names, ! == != < <= > >= && || and parentheses.
class ConditionParser {
 public:
  ConditionParser(const std::string& text, const std::vector<ShaderDefine>& defines)
      : text_(text), defines_(defines) {}

  bool Evaluate(int* value) {
    ok_ = true;
    pos_ = 0;
    *value = Or();
    SkipSpace();
    return ok_ && pos_ == text_.size();
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Take(const char* op) {
    SkipSpace();
    const size_t n = std::strlen(op);
    if (text_.compare(pos_, n, op) != 0) return false;
    // "<" must not take the first half of "<=", "!" not that of "!=".
    if (n == 1 && pos_ + 1 < text_.size() && text_[pos_ + 1] == '=' && (op[0] == '<' || op[0] == '>' || op[0] == '!'))
      return false;
    pos_ += n;
    return true;
  }
  int Or() {
    int v = And();
    while (Take("||")) v = (And() != 0) || v != 0 ? 1 : 0;
    return v;
  }
  int And() {
    int v = Compare();
    while (Take("&&")) {
      const int r = Compare();
      v = v != 0 && r != 0 ? 1 : 0;
    }
    return v;
  }
  int Compare() {
    int v = Unary();
    for (;;) {
      if (Take("==")) v = v == Unary();
      else if (Take("!=")) v = v != Unary();
      else if (Take("<=")) v = v <= Unary();
      else if (Take(">=")) v = v >= Unary();
      else if (Take("<")) v = v < Unary();
      else if (Take(">")) v = v > Unary();
      else return v;
    }
  }
  int Unary() {
    if (Take("!")) return Unary() == 0 ? 1 : 0;
    if (Take("(")) {
      const int v = Or();
      if (!Take(")")) ok_ = false;
      return v;
    }
    SkipSpace();
    const size_t start = pos_;
    if (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      return std::atoi(text_.substr(start, pos_ - start).c_str());
    }
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
    if (pos_ == start) {
      ok_ = false;
      return 0;
    }
    const std::string name = text_.substr(start, pos_ - start);
    for (const ShaderDefine& d : defines_)
      if (d.name == name) return d.value;
    return 0;
  }

  const std::string& text_;
  const std::vector<ShaderDefine>& defines_;
  size_t pos_ = 0;
  bool ok_ = true;
};

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// --- Token encoding -------------------------------------------------------------------------

enum RegisterType : uint32_t {
  RegTemp = 0,
  RegInput = 1,
  RegConst = 2,
  RegTexture = 3,
  RegRastOut = 4,
  RegAttrOut = 5,
  RegTexCrdOut = 6,
  RegColorOut = 8,
  RegSampler = 10,
  RegConstBool = 14,
};

constexpr uint32_t ParamBit = 0x80000000u;
constexpr uint32_t SaturateModifier = 1u << 20;
constexpr uint32_t NegateModifier = 1u << 24;
constexpr uint32_t IdentitySwizzle = 0xE4;

uint32_t RegisterBits(uint32_t type, uint32_t number) {
  return ParamBit | ((type << 28) & 0x70000000u) | ((type << 8) & 0x1800u) | (number & 0x7FFu);
}

struct Register {
  uint32_t type;
  uint32_t number;
};

struct Opcode {
  const char* name;
  uint32_t code;
  int sources;
};
// Every instruction here has one destination.
constexpr std::array<Opcode, 21> Opcodes{{
    {"mov", 1, 1},  {"add", 2, 2},  {"sub", 3, 2},  {"mad", 4, 3},  {"mul", 5, 2},  {"rcp", 6, 1},
    {"rsq", 7, 1},  {"dp3", 8, 2},  {"dp4", 9, 2},  {"min", 10, 2}, {"max", 11, 2}, {"slt", 12, 2},
    {"sge", 13, 2}, {"exp", 14, 1}, {"log", 15, 1}, {"lit", 16, 1}, {"lrp", 18, 3}, {"pow", 32, 2},
    {"abs", 35, 1}, {"nrm", 36, 1}, {"texld", 66, 2},
}};

struct Usage {
  const char* name;
  uint32_t code;
};
constexpr std::array<Usage, 10> Usages{{
    {"position", 0}, {"blendweight", 1}, {"blendindices", 2}, {"normal", 3}, {"psize", 4},
    {"texcoord", 5}, {"tangent", 6},     {"binormal", 7},     {"color", 10}, {"fog", 11},
}};

class Assembler {
 public:
  bool Run(const std::string& text, std::vector<uint32_t>* tokens, std::string* error) {
    std::istringstream in(text);
    std::string raw;
    bool haveVersion = false;
    while (std::getline(in, raw)) {
      ++line_;
      if (const size_t c = raw.find("//"); c != std::string::npos) raw.erase(c);
      const std::string lineText = Trim(raw);
      if (lineText.empty()) continue;
      if (!haveVersion) {
        if (lineText == "vs_2_0") {
          pixel_ = false;
          out_.push_back(0xFFFE0200u);
        } else if (lineText == "ps_2_0") {
          pixel_ = true;
          out_.push_back(0xFFFF0200u);
        } else {
          return Fail(error, "expected vs_2_0 or ps_2_0");
        }
        haveVersion = true;
        continue;
      }
      if (!Statement(lineText)) {
        if (error) *error = "line " + std::to_string(line_) + ": " + message_;
        return false;
      }
    }
    if (!haveVersion) return Fail(error, "no version line");
    out_.push_back(0x0000FFFFu);
    *tokens = std::move(out_);
    return true;
  }

 private:
  bool Fail(std::string* error, const std::string& what) {
    if (error) *error = "line " + std::to_string(line_) + ": " + what;
    return false;
  }
  bool Bad(const std::string& what) {
    message_ = what;
    return false;
  }

  static std::vector<std::string> SplitOperands(const std::string& s) {
    std::vector<std::string> parts;
    std::string cur;
    for (char ch : s) {
      if (ch == ',') {
        parts.push_back(Trim(cur));
        cur.clear();
      } else {
        cur += ch;
      }
    }
    if (!Trim(cur).empty() || !parts.empty()) parts.push_back(Trim(cur));
    return parts;
  }

  static bool ParseNumber(const std::string& s, uint32_t* n) {
    if (s.empty() || s.size() > 4) return false;
    for (char ch : s)
      if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    *n = static_cast<uint32_t>(std::atoi(s.c_str()));
    return true;
  }

  bool ParseRegister(const std::string& name, Register* reg) {
    struct Prefix {
      const char* text;
      uint32_t type;
      int fixedNumber;  // -1: a number follows
      int shader;       // 0 both, 1 vertex only, 2 pixel only
    };
    static constexpr std::array<Prefix, 12> prefixes{{
        {"oPos", RegRastOut, 0, 1}, {"oFog", RegRastOut, 1, 1}, {"oPts", RegRastOut, 2, 1},
        {"oD", RegAttrOut, -1, 1},  {"oT", RegTexCrdOut, -1, 1}, {"oC", RegColorOut, -1, 2},
        {"r", RegTemp, -1, 0},      {"v", RegInput, -1, 0},     {"c", RegConst, -1, 0},
        {"t", RegTexture, -1, 2},   {"s", RegSampler, -1, 2},   {"b", RegConstBool, -1, 1},
    }};
    for (const Prefix& p : prefixes) {
      const size_t n = std::strlen(p.text);
      if (name.compare(0, n, p.text) != 0) continue;
      if ((p.shader == 1 && pixel_) || (p.shader == 2 && !pixel_)) return Bad("register " + name + " not in this model");
      reg->type = p.type;
      if (p.fixedNumber >= 0) {
        if (name.size() != n) continue;
        reg->number = static_cast<uint32_t>(p.fixedNumber);
        return true;
      }
      if (!ParseNumber(name.substr(n), &reg->number)) return Bad("bad register " + name);
      return true;
    }
    return Bad("unknown register " + name);
  }

  static int ComponentIndex(char ch) {
    switch (ch) {
      case 'x': case 'r': return 0;
      case 'y': case 'g': return 1;
      case 'z': case 'b': return 2;
      case 'w': case 'a': return 3;
      default: return -1;
    }
  }

  bool Destination(const std::string& operand, uint32_t modifiers, uint32_t* token) {
    const size_t dot = operand.find('.');
    Register reg{};
    if (!ParseRegister(operand.substr(0, dot), &reg)) return false;
    uint32_t mask = 0xF;
    if (dot != std::string::npos) {
      const std::string m = operand.substr(dot + 1);
      if (m.empty() || m.size() > 4) return Bad("bad write mask " + operand);
      mask = 0;
      int last = -1;
      for (char ch : m) {
        const int i = ComponentIndex(ch);
        if (i <= last) return Bad("bad write mask " + operand);
        last = i;
        mask |= 1u << i;
      }
    }
    *token = RegisterBits(reg.type, reg.number) | (mask << 16) | modifiers;
    return true;
  }

  bool Source(std::string operand, uint32_t* token) {
    uint32_t modifier = 0;
    if (!operand.empty() && operand[0] == '-') {
      modifier = NegateModifier;
      operand = Trim(operand.substr(1));
    }
    const size_t dot = operand.find('.');
    Register reg{};
    if (!ParseRegister(operand.substr(0, dot), &reg)) return false;
    uint32_t swizzle = IdentitySwizzle;
    if (dot != std::string::npos) {
      const std::string s = operand.substr(dot + 1);
      if (s.empty() || s.size() > 4) return Bad("bad swizzle " + operand);
      std::array<int, 4> comp{};
      for (size_t i = 0; i < 4; ++i) {
        // A short swizzle repeats its last component.
        const int c = ComponentIndex(s[i < s.size() ? i : s.size() - 1]);
        if (c < 0) return Bad("bad swizzle " + operand);
        comp[i] = c;
      }
      swizzle = static_cast<uint32_t>(comp[0] | comp[1] << 2 | comp[2] << 4 | comp[3] << 6);
    }
    *token = RegisterBits(reg.type, reg.number) | (swizzle << 16) | modifier;
    return true;
  }

  void Emit(uint32_t opcode, const std::vector<uint32_t>& params) {
    out_.push_back(opcode | (static_cast<uint32_t>(params.size()) << 24));
    out_.insert(out_.end(), params.begin(), params.end());
  }

  bool Statement(const std::string& text) {
    size_t space = 0;
    while (space < text.size() && !std::isspace(static_cast<unsigned char>(text[space]))) ++space;
    const std::string mnemonic = Lower(text.substr(0, space));
    const std::vector<std::string> operands = SplitOperands(Trim(text.substr(space)));
    if (mnemonic == "def") return Define(operands);
    if (mnemonic.compare(0, 3, "dcl") == 0) return Declare(mnemonic, operands);

    std::string name = mnemonic;
    uint32_t modifiers = 0;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, "_sat") == 0) {
      modifiers = SaturateModifier;
      name.erase(name.size() - 4);
    }
    for (const Opcode& op : Opcodes) {
      if (name != op.name) continue;
      if (static_cast<int>(operands.size()) != op.sources + 1) return Bad("wrong operand count for " + name);
      if (op.code == 66 && !pixel_) return Bad("texld in a vertex shader");
      std::vector<uint32_t> params(operands.size());
      if (!Destination(operands[0], modifiers, &params[0])) return false;
      for (size_t i = 1; i < operands.size(); ++i)
        if (!Source(operands[i], &params[i])) return false;
      Emit(op.code, params);
      return true;
    }
    return Bad("unknown instruction " + mnemonic);
  }

  bool Define(const std::vector<std::string>& operands) {
    if (operands.size() != 5) return Bad("def takes a register and four values");
    Register reg{};
    if (!ParseRegister(operands[0], &reg) || reg.type != RegConst) return Bad("def needs a c register");
    std::vector<uint32_t> params{RegisterBits(RegConst, reg.number) | (0xFu << 16)};
    for (size_t i = 1; i < 5; ++i) {
      const char* begin = operands[i].c_str();
      char* end = nullptr;
      // Read as a double and rounded once to float, as the reference assembler does.
      const double value = std::strtod(begin, &end);
      if (end == begin || *end != '\0') return Bad("bad value " + operands[i]);
      params.push_back(std::bit_cast<uint32_t>(static_cast<float>(value)));
    }
    Emit(81, params);
    return true;
  }

  bool Declare(const std::string& mnemonic, const std::vector<std::string>& operands) {
    if (operands.size() != 1) return Bad("dcl takes one register");
    uint32_t usageToken = ParamBit;
    const std::string suffix = mnemonic.size() > 4 && mnemonic[3] == '_' ? mnemonic.substr(4) : "";
    if (mnemonic.size() > 3 && suffix.empty()) return Bad("bad declaration " + mnemonic);
    if (suffix == "2d") {
      usageToken |= 2u << 27;
    } else if (!suffix.empty()) {
      bool found = false;
      for (const Usage& u : Usages) {
        const size_t n = std::strlen(u.name);
        if (suffix.compare(0, n, u.name) != 0) continue;
        uint32_t index = 0;
        if (suffix.size() > n && !ParseNumber(suffix.substr(n), &index)) continue;
        if (index > 15) return Bad("usage index above 15");
        usageToken |= u.code | (index << 16);
        found = true;
        break;
      }
      if (!found) return Bad("unknown usage " + suffix);
    }
    uint32_t dest = 0;
    if (!Destination(operands[0], 0, &dest)) return false;
    Emit(31, {usageToken, dest});
    return true;
  }

  std::vector<uint32_t> out_;
  bool pixel_ = false;
  int line_ = 0;
  std::string message_;
};

}  // namespace

bool PreprocessShaderText(const std::string& text, const std::vector<ShaderDefine>& defines, std::string* out,
                          std::string* error) {
  struct Level {
    bool parentActive;
    bool taken;   // some branch of this #if has held
    bool active;  // the current branch holds
  };
  std::vector<Level> stack;
  std::istringstream in(text);
  std::string raw;
  std::string result;
  int line = 0;
  auto fail = [&](const std::string& what) {
    if (error) *error = "line " + std::to_string(line) + ": " + what;
    return false;
  };
  auto evaluate = [&](const std::string& expr, int* value) {
    ConditionParser parser(expr, defines);
    return parser.Evaluate(value);
  };
  while (std::getline(in, raw)) {
    ++line;
    const std::string t = Trim(raw);
    const bool active = stack.empty() || stack.back().active;
    if (!t.empty() && t[0] == '#') {
      std::string directive = Trim(t.substr(1));
      size_t end = 0;
      while (end < directive.size() && std::isalpha(static_cast<unsigned char>(directive[end]))) ++end;
      const std::string word = directive.substr(0, end);
      std::string rest = directive.substr(end);
      if (const size_t c = rest.find("//"); c != std::string::npos) rest.erase(c);
      rest = Trim(rest);
      int value = 0;
      if (word == "if") {
        if (active && !evaluate(rest, &value)) return fail("bad #if condition");
        const bool holds = active && value != 0;
        stack.push_back({active, holds, holds});
      } else if (word == "elif") {
        if (stack.empty()) return fail("#elif without #if");
        Level& l = stack.back();
        if (l.parentActive && !l.taken) {
          if (!evaluate(rest, &value)) return fail("bad #elif condition");
          l.active = value != 0;
          l.taken = l.active;
        } else {
          l.active = false;
        }
      } else if (word == "else") {
        if (stack.empty()) return fail("#else without #if");
        Level& l = stack.back();
        l.active = l.parentActive && !l.taken;
        l.taken = true;
      } else if (word == "endif") {
        if (stack.empty()) return fail("#endif without #if");
        stack.pop_back();
      } else {
        return fail("unknown directive #" + word);
      }
      result += '\n';
      continue;
    }
    if (active) result += raw;
    result += '\n';
  }
  if (!stack.empty()) return fail("#if without #endif");
  *out = std::move(result);
  return true;
}

bool AssembleShaderText(const std::string& text, std::vector<uint32_t>* tokens, std::string* error) {
  Assembler assembler;
  return assembler.Run(text, tokens, error);
}

bool AssembleShader(const std::string& text, const std::vector<ShaderDefine>& defines, std::vector<uint32_t>* tokens,
                    std::string* error) {
  std::string expanded;
  if (!PreprocessShaderText(text, defines, &expanded, error)) return false;
  return AssembleShaderText(expanded, tokens, error);
}

}  // namespace quelt_tools
