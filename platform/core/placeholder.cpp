// Placeholder until the core layer has its first source.
namespace kv_placeholder_core {}
