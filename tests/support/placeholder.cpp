// Placeholder until the shared test helpers have their first source.
namespace kv_placeholder_tests {}
