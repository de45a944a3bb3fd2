/* The prebuilt routines (TemplateBlock): writable module data of its own page(s). */
    .section .data.marl_templates, "aw", @progbits
    .balign 4096
    .globl MarlTemplateBlock
    .hidden MarlTemplateBlock
MarlTemplateBlock:
    ret
    .globl MarlTemplateBlockEnd
    .hidden MarlTemplateBlockEnd
MarlTemplateBlockEnd:
    .balign 4096

    .section .note.GNU-stack, "", @progbits
