// One live stream (Server-Sent Events) and the state the pages show for it:
// "live" while it is open, "connecting" while the browser reconnects by
// itself, and "offline" once the server has refused the stream (signed out);
// then the page is asked to find out who is signed in.

export class EventStream {
  // handlers: {eventName: fn(data)}; onState(state) after each change of state.
  constructor(url, handlers, onState) {
    this.url = url;
    this.handlers = handlers;
    this.onState = onState;
    this.source = null;
    this.state = "connecting";
  }

  start() {
    if (this.source) return;
    this.source = new EventSource(this.url);
    this.source.addEventListener("open", () => this.setState("live"));
    for (const [name, fn] of Object.entries(this.handlers)) {
      this.source.addEventListener(name, (event) => fn(event.data));
    }
    this.source.addEventListener("error", () => {
      if (this.source && this.source.readyState === EventSource.CLOSED) {
        this.setState("offline");
        this.stop();
        window.dispatchEvent(new CustomEvent("zelvora:check-session"));
      } else {
        this.setState("connecting");
      }
    });
  }

  stop() {
    if (this.source) this.source.close();
    this.source = null;
  }

  setState(state) {
    if (this.state === state) return;
    this.state = state;
    this.onState(state);
  }
}
