// Placeholder until the imaging library has its first source.
namespace kv_placeholder_korvane {}
