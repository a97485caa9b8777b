// Driver capabilities: the one record of what the OpenGL driver offers (flags, limits and
// extension entry points), the graphics settings record, and the detection that fills both once
// at start-up with the driver's own answers, the vendor workarounds and the capability switches.
#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

// Where an entry point comes from, for deciding whether the driver really offers it: the name
// with the ARB suffix, with the EXT suffix, and without a suffix (a core version, or an extension
// that brings the bare name) each count only when the driver advertises what defines them.
enum OGL_proc_source {
    OGL_SRC_VBO,
    OGL_SRC_VPROG,
    OGL_SRC_VPROG_ONLY,
    OGL_SRC_MULTITEX,
    OGL_SRC_CORE12,
    OGL_SRC_QUERY,
    OGL_SRC_SHOBJ,
    OGL_SRC_SHOBJ_ONLY,
    OGL_SRC_GEOM,
    OGL_SRC_BUNIF,
    OGL_SRC_VSHADER,
    OGL_SRC_FBO,
    OGL_SRC_BLIT,
    OGL_SRC_TEXCOMP,
    OGL_SRC_BLENDEQ,
    OGL_SRC_DRAWBUF,
    OGL_SRC_DRAWBUF2,
    OGL_SRC_BLENDFUNC,
    OGL_SRC_GPUSH4,
    OGL_SRC_DRAWINST,
    OGL_SRC_DIVISOR,
    OGL_SRC_STENCIL2,
    OGL_SRC_CORE20,
    OGL_SRC_COUNT
};

// The entry points of the capability record in field order: X(load group, source, type, name).
// The load group is the group whose flag guards the look-up (see OGL_init_extensions).
#define OGL_CAPS_PROCS(X) \
    X(1, OGL_SRC_VBO, PFNGLBINDBUFFERARBPROC, glBindBufferARB) \
    X(1, OGL_SRC_VBO, PFNGLDELETEBUFFERSARBPROC, glDeleteBuffersARB) \
    X(1, OGL_SRC_VBO, PFNGLGENBUFFERSARBPROC, glGenBuffersARB) \
    X(1, OGL_SRC_VBO, PFNGLISBUFFERARBPROC, glIsBufferARB) \
    X(1, OGL_SRC_VBO, PFNGLBUFFERDATAARBPROC, glBufferDataARB) \
    X(1, OGL_SRC_VBO, PFNGLBUFFERSUBDATAARBPROC, glBufferSubDataARB) \
    X(1, OGL_SRC_VBO, PFNGLGETBUFFERSUBDATAARBPROC, glGetBufferSubDataARB) \
    X(1, OGL_SRC_VBO, PFNGLMAPBUFFERARBPROC, glMapBufferARB) \
    X(1, OGL_SRC_VBO, PFNGLUNMAPBUFFERARBPROC, glUnmapBufferARB) \
    X(1, OGL_SRC_VBO, PFNGLGETBUFFERPARAMETERIVARBPROC, glGetBufferParameterivARB) \
    X(1, OGL_SRC_VBO, PFNGLGETBUFFERPOINTERVARBPROC, glGetBufferPointervARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB1DARBPROC, glVertexAttrib1dARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB1DVARBPROC, glVertexAttrib1dvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB1FARBPROC, glVertexAttrib1fARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB1FVARBPROC, glVertexAttrib1fvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB1SARBPROC, glVertexAttrib1sARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB1SVARBPROC, glVertexAttrib1svARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB2DARBPROC, glVertexAttrib2dARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB2DVARBPROC, glVertexAttrib2dvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB2FARBPROC, glVertexAttrib2fARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB2FVARBPROC, glVertexAttrib2fvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB2SARBPROC, glVertexAttrib2sARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB2SVARBPROC, glVertexAttrib2svARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB3DARBPROC, glVertexAttrib3dARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB3DVARBPROC, glVertexAttrib3dvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB3FARBPROC, glVertexAttrib3fARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB3FVARBPROC, glVertexAttrib3fvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB3SARBPROC, glVertexAttrib3sARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB3SVARBPROC, glVertexAttrib3svARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NBVARBPROC, glVertexAttrib4NbvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NIVARBPROC, glVertexAttrib4NivARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NSVARBPROC, glVertexAttrib4NsvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NUBARBPROC, glVertexAttrib4NubARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NUBVARBPROC, glVertexAttrib4NubvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NUIVARBPROC, glVertexAttrib4NuivARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4NUSVARBPROC, glVertexAttrib4NusvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4BVARBPROC, glVertexAttrib4bvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4DARBPROC, glVertexAttrib4dARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4DVARBPROC, glVertexAttrib4dvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4FARBPROC, glVertexAttrib4fARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4FVARBPROC, glVertexAttrib4fvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4IVARBPROC, glVertexAttrib4ivARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4SARBPROC, glVertexAttrib4sARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4SVARBPROC, glVertexAttrib4svARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4UBVARBPROC, glVertexAttrib4ubvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4UIVARBPROC, glVertexAttrib4uivARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIB4USVARBPROC, glVertexAttrib4usvARB) \
    X(2, OGL_SRC_VPROG, PFNGLVERTEXATTRIBPOINTERARBPROC, glVertexAttribPointerARB) \
    X(2, OGL_SRC_VPROG, PFNGLENABLEVERTEXATTRIBARRAYARBPROC, glEnableVertexAttribArrayARB) \
    X(2, OGL_SRC_VPROG, PFNGLDISABLEVERTEXATTRIBARRAYARBPROC, glDisableVertexAttribArrayARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMSTRINGARBPROC, glProgramStringARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLBINDPROGRAMARBPROC, glBindProgramARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLDELETEPROGRAMSARBPROC, glDeleteProgramsARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGENPROGRAMSARBPROC, glGenProgramsARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMENVPARAMETER4DARBPROC, glProgramEnvParameter4dARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMENVPARAMETER4DVARBPROC, glProgramEnvParameter4dvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMENVPARAMETER4FARBPROC, glProgramEnvParameter4fARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMENVPARAMETER4FVARBPROC, glProgramEnvParameter4fvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMLOCALPARAMETER4DARBPROC, glProgramLocalParameter4dARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMLOCALPARAMETER4DVARBPROC, glProgramLocalParameter4dvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMLOCALPARAMETER4FARBPROC, glProgramLocalParameter4fARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLPROGRAMLOCALPARAMETER4FVARBPROC, glProgramLocalParameter4fvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGETPROGRAMENVPARAMETERDVARBPROC, glGetProgramEnvParameterdvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGETPROGRAMENVPARAMETERFVARBPROC, glGetProgramEnvParameterfvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGETPROGRAMLOCALPARAMETERDVARBPROC, glGetProgramLocalParameterdvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGETPROGRAMLOCALPARAMETERFVARBPROC, glGetProgramLocalParameterfvARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGETPROGRAMIVARBPROC, glGetProgramivARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLGETPROGRAMSTRINGARBPROC, glGetProgramStringARB) \
    X(2, OGL_SRC_VPROG, PFNGLGETVERTEXATTRIBDVARBPROC, glGetVertexAttribdvARB) \
    X(2, OGL_SRC_VPROG, PFNGLGETVERTEXATTRIBFVARBPROC, glGetVertexAttribfvARB) \
    X(2, OGL_SRC_VPROG, PFNGLGETVERTEXATTRIBIVARBPROC, glGetVertexAttribivARB) \
    X(2, OGL_SRC_VPROG, PFNGLGETVERTEXATTRIBPOINTERVARBPROC, glGetVertexAttribPointervARB) \
    X(2, OGL_SRC_VPROG_ONLY, PFNGLISPROGRAMARBPROC, glIsProgramARB) \
    X(4, OGL_SRC_QUERY, PFNGLGENQUERIESARBPROC, glGenQueriesARB) \
    X(4, OGL_SRC_QUERY, PFNGLDELETEQUERIESARBPROC, glDeleteQueriesARB) \
    X(4, OGL_SRC_QUERY, PFNGLISQUERYARBPROC, glIsQueryARB) \
    X(4, OGL_SRC_QUERY, PFNGLBEGINQUERYARBPROC, glBeginQueryARB) \
    X(4, OGL_SRC_QUERY, PFNGLENDQUERYARBPROC, glEndQueryARB) \
    X(4, OGL_SRC_QUERY, PFNGLGETQUERYIVARBPROC, glGetQueryivARB) \
    X(4, OGL_SRC_QUERY, PFNGLGETQUERYOBJECTIVARBPROC, glGetQueryObjectivARB) \
    X(4, OGL_SRC_QUERY, PFNGLGETQUERYOBJECTUIVARBPROC, glGetQueryObjectuivARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLDELETEOBJECTARBPROC, glDeleteObjectARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLGETHANDLEARBPROC, glGetHandleARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLDETACHOBJECTARBPROC, glDetachObjectARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLCREATESHADEROBJECTARBPROC, glCreateShaderObjectARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLSHADERSOURCEARBPROC, glShaderSourceARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLCOMPILESHADERARBPROC, glCompileShaderARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLCREATEPROGRAMOBJECTARBPROC, glCreateProgramObjectARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLATTACHOBJECTARBPROC, glAttachObjectARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLLINKPROGRAMARBPROC, glLinkProgramARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLUSEPROGRAMOBJECTARBPROC, glUseProgramObjectARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLVALIDATEPROGRAMARBPROC, glValidateProgramARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM1FARBPROC, glUniform1fARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM2FARBPROC, glUniform2fARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM3FARBPROC, glUniform3fARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM4FARBPROC, glUniform4fARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM1IARBPROC, glUniform1iARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM2IARBPROC, glUniform2iARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM3IARBPROC, glUniform3iARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM4IARBPROC, glUniform4iARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM1FVARBPROC, glUniform1fvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM2FVARBPROC, glUniform2fvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM3FVARBPROC, glUniform3fvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM4FVARBPROC, glUniform4fvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM1IVARBPROC, glUniform1ivARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM2IVARBPROC, glUniform2ivARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM3IVARBPROC, glUniform3ivARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORM4IVARBPROC, glUniform4ivARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORMMATRIX2FVARBPROC, glUniformMatrix2fvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORMMATRIX3FVARBPROC, glUniformMatrix3fvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLUNIFORMMATRIX4FVARBPROC, glUniformMatrix4fvARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLGETOBJECTPARAMETERFVARBPROC, glGetObjectParameterfvARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLGETOBJECTPARAMETERIVARBPROC, glGetObjectParameterivARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLGETINFOLOGARBPROC, glGetInfoLogARB) \
    X(5, OGL_SRC_SHOBJ_ONLY, PFNGLGETATTACHEDOBJECTSARBPROC, glGetAttachedObjectsARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLGETUNIFORMLOCATIONARBPROC, glGetUniformLocationARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLGETACTIVEUNIFORMARBPROC, glGetActiveUniformARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLGETUNIFORMFVARBPROC, glGetUniformfvARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLGETUNIFORMIVARBPROC, glGetUniformivARB) \
    X(5, OGL_SRC_SHOBJ, PFNGLGETSHADERSOURCEARBPROC, glGetShaderSourceARB) \
    X(8, OGL_SRC_VSHADER, PFNGLBINDATTRIBLOCATIONARBPROC, glBindAttribLocationARB) \
    X(8, OGL_SRC_VSHADER, PFNGLGETACTIVEATTRIBARBPROC, glGetActiveAttribARB) \
    X(8, OGL_SRC_VSHADER, PFNGLGETATTRIBLOCATIONARBPROC, glGetAttribLocationARB) \
    X(6, OGL_SRC_GEOM, PFNGLPROGRAMPARAMETERIEXTPROC, glProgramParameteriEXT) \
    X(7, OGL_SRC_BUNIF, PFNGLUNIFORMBUFFEREXTPROC, glUniformBufferEXT) \
    X(7, OGL_SRC_BUNIF, PFNGLGETUNIFORMBUFFERSIZEEXTPROC, glGetUniformBufferSizeEXT) \
    X(7, OGL_SRC_BUNIF, PFNGLGETUNIFORMOFFSETEXTPROC, glGetUniformOffsetEXT) \
    X(9, OGL_SRC_FBO, PFNGLISRENDERBUFFEREXTPROC, glIsRenderbufferEXT) \
    X(9, OGL_SRC_FBO, PFNGLBINDRENDERBUFFEREXTPROC, glBindRenderbufferEXT) \
    X(9, OGL_SRC_FBO, PFNGLDELETERENDERBUFFERSEXTPROC, glDeleteRenderbuffersEXT) \
    X(9, OGL_SRC_FBO, PFNGLGENRENDERBUFFERSEXTPROC, glGenRenderbuffersEXT) \
    X(9, OGL_SRC_FBO, PFNGLRENDERBUFFERSTORAGEEXTPROC, glRenderbufferStorageEXT) \
    X(9, OGL_SRC_FBO, PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC, glGetRenderbufferParameterivEXT) \
    X(9, OGL_SRC_FBO, PFNGLISFRAMEBUFFEREXTPROC, glIsFramebufferEXT) \
    X(9, OGL_SRC_FBO, PFNGLBINDFRAMEBUFFEREXTPROC, glBindFramebufferEXT) \
    X(9, OGL_SRC_FBO, PFNGLDELETEFRAMEBUFFERSEXTPROC, glDeleteFramebuffersEXT) \
    X(9, OGL_SRC_FBO, PFNGLGENFRAMEBUFFERSEXTPROC, glGenFramebuffersEXT) \
    X(9, OGL_SRC_FBO, PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC, glCheckFramebufferStatusEXT) \
    X(9, OGL_SRC_FBO, PFNGLFRAMEBUFFERTEXTURE1DEXTPROC, glFramebufferTexture1DEXT) \
    X(9, OGL_SRC_FBO, PFNGLFRAMEBUFFERTEXTURE2DEXTPROC, glFramebufferTexture2DEXT) \
    X(9, OGL_SRC_FBO, PFNGLFRAMEBUFFERTEXTURE3DEXTPROC, glFramebufferTexture3DEXT) \
    X(9, OGL_SRC_FBO, PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC, glFramebufferRenderbufferEXT) \
    X(9, OGL_SRC_FBO, PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC, glGetFramebufferAttachmentParameterivEXT) \
    X(9, OGL_SRC_FBO, PFNGLGENERATEMIPMAPEXTPROC, glGenerateMipmapEXT) \
    X(10, OGL_SRC_BLIT, PFNGLBLITFRAMEBUFFEREXTPROC, glBlitFramebufferEXT) \
    X(11, OGL_SRC_TEXCOMP, PFNGLCOMPRESSEDTEXIMAGE3DARBPROC, glCompressedTexImage3DARB) \
    X(11, OGL_SRC_TEXCOMP, PFNGLCOMPRESSEDTEXIMAGE2DARBPROC, glCompressedTexImage2DARB) \
    X(11, OGL_SRC_TEXCOMP, PFNGLCOMPRESSEDTEXIMAGE1DARBPROC, glCompressedTexImage1DARB) \
    X(11, OGL_SRC_TEXCOMP, PFNGLCOMPRESSEDTEXSUBIMAGE3DARBPROC, glCompressedTexSubImage3DARB) \
    X(11, OGL_SRC_TEXCOMP, PFNGLCOMPRESSEDTEXSUBIMAGE2DARBPROC, glCompressedTexSubImage2DARB) \
    X(11, OGL_SRC_TEXCOMP, PFNGLCOMPRESSEDTEXSUBIMAGE1DARBPROC, glCompressedTexSubImage1DARB) \
    X(11, OGL_SRC_TEXCOMP, PFNGLGETCOMPRESSEDTEXIMAGEARBPROC, glGetCompressedTexImageARB) \
    X(15, OGL_SRC_BLENDFUNC, PFNGLBLENDFUNCSEPARATEEXTPROC, glBlendFuncSeparateEXT) \
    X(12, OGL_SRC_BLENDEQ, PFNGLBLENDEQUATIONSEPARATEEXTPROC, glBlendEquationSeparateEXT) \
    X(13, OGL_SRC_DRAWBUF, PFNGLDRAWBUFFERSARBPROC, glDrawBuffersARB) \
    X(14, OGL_SRC_DRAWBUF2, PFNGLCOLORMASKINDEXEDEXTPROC, glColorMaskIndexedEXT) \
    X(14, OGL_SRC_DRAWBUF2, PFNGLGETBOOLEANINDEXEDVEXTPROC, glGetBooleanIndexedvEXT) \
    X(14, OGL_SRC_DRAWBUF2, PFNGLGETINTEGERINDEXEDVEXTPROC, glGetIntegerIndexedvEXT) \
    X(14, OGL_SRC_DRAWBUF2, PFNGLENABLEINDEXEDEXTPROC, glEnableIndexedEXT) \
    X(14, OGL_SRC_DRAWBUF2, PFNGLDISABLEINDEXEDEXTPROC, glDisableIndexedEXT) \
    X(14, OGL_SRC_DRAWBUF2, PFNGLISENABLEDINDEXEDEXTPROC, glIsEnabledIndexedEXT) \
    X(17, OGL_SRC_DIVISOR, PFNGLVERTEXATTRIBDIVISORARBPROC, glVertexAttribDivisorARB) \
    X(17, OGL_SRC_DRAWINST, PFNGLDRAWARRAYSINSTANCEDARBPROC, glDrawArraysInstancedARB) \
    X(17, OGL_SRC_DRAWINST, PFNGLDRAWELEMENTSINSTANCEDARBPROC, glDrawElementsInstancedARB) \
    X(18, OGL_SRC_STENCIL2, PFNGLACTIVESTENCILFACEEXTPROC, glActiveStencilFaceEXT) \
    X(19, OGL_SRC_CORE20, PFNGLSTENCILFUNCSEPARATEPROC, glStencilFuncSeparate) \
    X(19, OGL_SRC_CORE20, PFNGLSTENCILOPSEPARATEPROC, glStencilOpSeparate) \
    X(19, OGL_SRC_CORE20, PFNGLSTENCILMASKSEPARATEPROC, glStencilMaskSeparate) \
    X(16, OGL_SRC_GPUSH4, PFNGLGETUNIFORMUIVEXTPROC, glGetUniformuivEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLBINDFRAGDATALOCATIONEXTPROC, glBindFragDataLocationEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLGETFRAGDATALOCATIONEXTPROC, glGetFragDataLocationEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM1UIEXTPROC, glUniform1uiEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM2UIEXTPROC, glUniform2uiEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM3UIEXTPROC, glUniform3uiEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM4UIEXTPROC, glUniform4uiEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM1UIVEXTPROC, glUniform1uivEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM2UIVEXTPROC, glUniform2uivEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM3UIVEXTPROC, glUniform3uivEXT) \
    X(16, OGL_SRC_GPUSH4, PFNGLUNIFORM4UIVEXTPROC, glUniform4uivEXT)

// The entry points that are globals of their own (group 3: always looked up, never guarding a
// flag). The system OpenGL header declares functions of the same names, so the globals live in
// the program's namespace: always call them qualified, as corvane::glActiveTextureARB(...).
#define OGL_GLOBAL_PROCS(X) \
    X(3, OGL_SRC_MULTITEX, PFNGLACTIVETEXTUREARBPROC, glActiveTextureARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLCLIENTACTIVETEXTUREARBPROC, glClientActiveTextureARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1DARBPROC, glMultiTexCoord1dARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1DVARBPROC, glMultiTexCoord1dvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1FARBPROC, glMultiTexCoord1fARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1FVARBPROC, glMultiTexCoord1fvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1IARBPROC, glMultiTexCoord1iARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1IVARBPROC, glMultiTexCoord1ivARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1SARBPROC, glMultiTexCoord1sARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD1SVARBPROC, glMultiTexCoord1svARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2DARBPROC, glMultiTexCoord2dARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2DVARBPROC, glMultiTexCoord2dvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2FARBPROC, glMultiTexCoord2fARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2FVARBPROC, glMultiTexCoord2fvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2IARBPROC, glMultiTexCoord2iARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2IVARBPROC, glMultiTexCoord2ivARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2SARBPROC, glMultiTexCoord2sARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD2SVARBPROC, glMultiTexCoord2svARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3DARBPROC, glMultiTexCoord3dARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3DVARBPROC, glMultiTexCoord3dvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3FARBPROC, glMultiTexCoord3fARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3FVARBPROC, glMultiTexCoord3fvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3IARBPROC, glMultiTexCoord3iARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3IVARBPROC, glMultiTexCoord3ivARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3SARBPROC, glMultiTexCoord3sARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD3SVARBPROC, glMultiTexCoord3svARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4DARBPROC, glMultiTexCoord4dARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4DVARBPROC, glMultiTexCoord4dvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4FARBPROC, glMultiTexCoord4fARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4FVARBPROC, glMultiTexCoord4fvARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4IARBPROC, glMultiTexCoord4iARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4IVARBPROC, glMultiTexCoord4ivARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4SARBPROC, glMultiTexCoord4sARB) \
    X(3, OGL_SRC_MULTITEX, PFNGLMULTITEXCOORD4SVARBPROC, glMultiTexCoord4svARB) \
    X(3, OGL_SRC_CORE12, PFNGLTEXIMAGE3DPROC, glTexImage3D) \
    X(3, OGL_SRC_CORE12, PFNGLTEXSUBIMAGE3DPROC, glTexSubImage3D) \
    X(3, OGL_SRC_CORE12, PFNGLCOPYTEXSUBIMAGE3DPROC, glCopyTexSubImage3D)

namespace corvane {
#define OGL_DECLARE_GLOBAL_PROC(group, source, type, name) extern type name;
OGL_GLOBAL_PROCS(OGL_DECLARE_GLOBAL_PROC)
#undef OGL_DECLARE_GLOBAL_PROC
} // namespace corvane

// What the driver can do. Flags are 1 (available) or 0; an entry point is null when the driver
// lacks it. Read without locks by everyone once detection has run on the main thread.
struct OGL_caps {
#define OGL_DECLARE_CAPS_PROC(group, source, type, name) type name = nullptr;
    OGL_CAPS_PROCS(OGL_DECLARE_CAPS_PROC)
#undef OGL_DECLARE_CAPS_PROC

    int multitex_avail = 0;
    int tex_clamp_avail = 0;
    int add_env_avail = 0;
    int combine_avail = 0;
    int dis_fog_avail = 0;
    int instance_avail = 0;
    int two_side_stencil = 0;
    int sep_stencil = 0;
    int tex_comp_avail = 0;
    int vbo_avail = 0;
    int pbo_avail = 0;
    int vprog_avail = 0;
    int fprog_avail = 0;
    int automini_avail = 0;
    int aniso_avail = 0;
    int fsaa_avail = 0;
    int sprites_avail = 0;
    int depth_tex_avail = 0;
    int occlude_avail = 0;
    int shad_objs_avail = 0;
    int vshader_avail = 0;
    int fshader_avail = 0;
    int gshader_avail = 0;
    int buniform_avail = 0;
    int glsl_avail = 0;
    int first_gen_shaders = 0;
    int glsl_version = 0; // 0, 100, 110 or 120
    int shad_lod_avail = 0;
    int gpu_shad4_avail = 0;
    int framebuf_avail = 0;
    int frameblit_avail = 0;
    int sblendf_avail = 0;
    int sblende_avail = 0;
    int drawbuf_avail = 0;
    int drawbuf2_avail = 0;
    int packed_stencil = 0;
    int texture_rg = 0;
    int framebuffer_srgb = 0;
    int tex_float_avail = 0;
    int threaded_avail = 1; // worker threads may share the main context; detection clears it
    int non_pots_avail = 0;
    int idx_in_vram = 1;
    int subtex_avail = 1;
    int max_tex_size = 0;

    OGL_caps();
    // Detection, once, on the main thread with the main context current. May end the program
    // through the driver alerts.
    void OGL_init_extensions();
    // A thread that was to share the main context could not get one: clears threaded_avail and
    // tells the user once.
    void OGL_setup_failed_alert();
};

extern OGL_caps gCaps;

// The graphics settings record: the driver's limits and texts, the texture level, the swap and
// multisample settings.
struct OGL_settings {
    // Written by driver detection.
    float max_aniso = 0.0f;
    int max_tex_units = 0;
    int max_tex_image_units = 0;
    int max_tex_coords = 0;
    const char* gl_vendor = nullptr; // the driver's own texts ("" where the driver gave none)
    const char* gl_renderer = nullptr;
    const char* gl_version = nullptr;
    const char* gl_extensions = nullptr;
    // Set by start-up and the window code.
    int texture_level = 0; // 0 to 5; 5 is full resolution
    int use_vsync1 = 0;    // swap interval = 2 x use_vsync2 + use_vsync1
    int use_vsync2 = 0;
    int fsaa_wanted = 0;   // 0 none, 1 to 4 ask for 2, 4, 8 or 16 samples
    int fsaa_achieved = 0; // the level the window got, 0 to 4

    // The render options, each published as the tunable "reno/" + its name (render_opts). Only
    // comp_texes has a reader here: non-zero lets the texture loader prefer ".dds" files.
    int aniso_filter = 0;
    int diff_FOV = 0;
    int master_view_setting = 0;
    int draw_for_05 = 0;
    float LOD_bias_rat = 0.0f;
    int draw_objs_06 = 0;
    int draw_vecs_03 = 0;
    int draw_detail_apt_03 = 0;
    int draw_cars_05 = 0;
    int draw_planet = 0;
    int draw_view_ind = 0;
    int draw_gload = 0;
    int comp_texes = 0;
    int sloped_runways = 0;
    int draw_reflect_water05 = 0;
    int draw_volume_fog01 = 0;
    int draw_per_pix_liting = 0;
    int draw_HDR = 0;
    int draw_scattering = 0;
    int draw_water3d = 0;
    int draw_fft_water = 0;
    int use_bump_maps = 0;
    int use_detail_textures = 0;

    // Gives the render options their defaults; once, right after driver detection, which
    // settles the shader flags and the anisotropy they depend on.
    void RENO_reset_options();
};

extern OGL_settings gGLSettings;

// The address of the named OpenGL function, or null. The name is tried with an EXT suffix
// turned into ARB, then as given, then without its ARB or EXT suffix; each form counts only
// when the driver's version or advertised extensions define it (GLX hands out an address for
// any name), so only the names of the capability record and the globals can be found.
void* OGL_get_proc(const char* name);

// 100 x major + 10 x minor of a version text ("2.1.2 NVIDIA 190.38" gives 210); 100 when the
// text does not begin with two dot-separated numbers.
int OGL_parse_version(const char* text);

// Whether one spelling of an entry point is defined by this driver: version number and the
// driver's extension list (space-separated names). Unknown names are never covered.
int OGL_proc_covered(const char* name, int version, const char* extensions);

// The calls detection makes to the driver; tests put their own driver behind them.
struct OGL_driver_calls {
    const GLubyte* (*get_string)(GLenum name);
    void (*get_integer)(GLenum name, GLint* out);
    void (*get_float)(GLenum name, GLfloat* out);
    void* (*get_proc)(const char* name); // the raw look-up, before the check above
};
extern OGL_driver_calls gOGLDriver;
