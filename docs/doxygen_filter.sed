# Shows Doxygen the headers' plain comments as documentation: the comment block that
# opens a file describes the file; a comment line before a declaration describes it; a
# comment after one on its line describes it too. Lines are only rewritten, never
# added or removed, so Doxygen's line numbers stay right.
1 s#^// \(.*\)$#/// \1 @file#
s#^\([[:space:]]*\)//\( \|$\)#\1///\2#
s#\([;,{]\)[[:space:]]*//[[:space:]]\(.*\)$#\1 ///< \2#
