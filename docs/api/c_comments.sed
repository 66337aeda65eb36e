# The public headers are plain C with /* */ comments: a file's first comment
# describes the file, a comment on lines of its own the declaration under
# it, and a comment after code (a member, an enumerator, a macro) that
# code. These rewrites tell Doxygen so without changing the headers.
1s|^/\*|/** @file\
|
2,$s|^\([[:space:]]*\)/\*\([^*]\)|\1/**\2|
s|\([;,{]\)\([[:space:]]*\)/\*\([^*]\)|\1\2/**<\3|
s|^\(#define[[:space:]][^/]*[^/[:space:]]\)\([[:space:]]*\)/\*\([^*]\)|\1\2/**<\3|
