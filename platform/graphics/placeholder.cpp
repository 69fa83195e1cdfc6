// Placeholder until the graphics layer has its first source.
namespace kv_placeholder_graphics {}
