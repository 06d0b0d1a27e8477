// A drag source for the example tests, as a file manager is one: a window at the top-left of
// the screen whose 100 x 50 area drags the files named on the command line (absolute paths).
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> uris;

void SendFiles(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
    std::vector<gchar*> list;
    for (std::string& uri : uris)
        list.push_back(uri.data());
    list.push_back(nullptr);
    gtk_selection_data_set_uris(data, list.data());
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        if (gchar* uri = g_filename_to_uri(argv[i], nullptr, nullptr)) {
            uris.push_back(uri);
            g_free(uri);
        }
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Example drag source");
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    GtkWidget* area = gtk_event_box_new();
    gtk_widget_set_size_request(area, 100, 50);
    gtk_drag_source_set(area, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_source_add_uri_targets(area);
    g_signal_connect(area, "drag-data-get", G_CALLBACK(SendFiles), nullptr);
    gtk_container_add(GTK_CONTAINER(window), area);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
