#pragma once

namespace brindel::platform {

// The separator between the parts of a file path. Windows paths read with "\"; on
// other systems the same places hold "/", so the backup folder there reads
// <documents>/Brindel/ and a relative "Brindel/" when the documents folder is unknown.
#ifdef _WIN32
inline constexpr char16_t kPathDelimiter = u'\\';
#else
inline constexpr char16_t kPathDelimiter = u'/';
#endif

}  // namespace brindel::platform
