#pragma once
// The project's shader assembler: vs_2_0 / ps_2_0 assembly text in, Direct3D 9 shader
// tokens out. It takes the subset the engine's shaders are written in: the arithmetic
// instructions, def, dcl with usages and 2-D samplers, texld, the _sat modifier, negated
// sources, swizzles and write masks. A small preprocessor in front evaluates #if / #elif /
// #else / #endif over integer defines, the way the shaders pick their variant.
#include <cstdint>
#include <string>
#include <vector>

namespace quelt_tools {

struct ShaderDefine {
  std::string name;
  int value;
};

// Keeps the lines whose conditions hold (the others become empty lines, so line numbers
// stay). Undefined names count as 0. False with `error` set on a malformed directive.
bool PreprocessShaderText(const std::string& text, const std::vector<ShaderDefine>& defines, std::string* out,
                          std::string* error);

// Assembles preprocessed text. False with `error` ("line N: ...") on anything outside the
// subset.
bool AssembleShaderText(const std::string& text, std::vector<uint32_t>* tokens, std::string* error);

// Both steps.
bool AssembleShader(const std::string& text, const std::vector<ShaderDefine>& defines, std::vector<uint32_t>* tokens,
                    std::string* error);

}  // namespace quelt_tools
