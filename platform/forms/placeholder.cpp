// Placeholder until the forms layer has its first source.
namespace kv_placeholder_forms {}
