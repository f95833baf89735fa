# Included at project() by the tsan preset: ThreadSanitizer on every target.
# Only the simulated library and its test of concurrent use are built there.
add_compile_options(-fsanitize=thread)
add_link_options(-fsanitize=thread)
