// Version text of the program, shown in the About box.
namespace varnel {
const char* GuiVersion() { return "Varnel 1.0"; }
}  // namespace varnel
