// Which banner targets may be handed to the desktop's default handler. A banner link comes
// from a text file anyone who can write the install folder controls; opening any scheme
// there would let that file start local programs or scripts with one click.
#pragma once

namespace yulo {

// True for targets that start with "http://", "https://" or "mailto:" (scheme in any
// letter case) followed by at least one character, with no control characters anywhere.
// Everything else (file names, file:, javascript:, data:, custom schemes) is refused.
bool IsOpenableLinkTarget(const char* target);

}  // namespace yulo
