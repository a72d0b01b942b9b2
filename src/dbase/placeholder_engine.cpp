// Removed once the engine has its first source file.
