/* mingw has no MSVC SAL annotations; the toolkit's safe string API uses these. */
#pragma once
#ifndef _Check_return_
#define _Check_return_
#endif
#ifndef _Check_return_opt_
#define _Check_return_opt_
#endif
#ifndef _Check_return_wat_
#define _Check_return_wat_
#endif
#ifndef _Deref_prepost_opt_z_
#define _Deref_prepost_opt_z_
#endif
#ifndef _In_
#define _In_
#endif
#ifndef _In_opt_z_
#define _In_opt_z_
#endif
#ifndef _In_z_
#define _In_z_
#endif
#ifndef _Inout_
#define _Inout_
#endif
#ifndef _Printf_format_string_
#define _Printf_format_string_
#endif
#ifndef _In_z_count_
#define _In_z_count_(size)
#endif
#ifndef _Inout_opt_z_cap_
#define _Inout_opt_z_cap_(size)
#endif
#ifndef _Inout_z_cap_
#define _Inout_z_cap_(size)
#endif
#ifndef _Out_opt_z_cap_
#define _Out_opt_z_cap_(size)
#endif
#ifndef _Out_z_cap_
#define _Out_z_cap_(size)
#endif
