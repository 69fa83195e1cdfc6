// Placeholder until the application has its first source.
namespace kv_placeholder_app {}
