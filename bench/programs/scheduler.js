// Property-heavy objects: a round-robin scheduler passing packets between tasks through queues,
// with method calls on every step.
function Packet(id, kind) { this.link = null; this.id = id; this.kind = kind; this.count = 0; }
function Task(scheduler, id) {
    this.scheduler = scheduler; this.id = id; this.queue = null; this.work = 0; this.held = 0;
    this.run = taskRun; this.take = taskTake;
}
function taskTake() {
    var p = this.queue;
    if (p == null) { this.held = this.held + 1; return null; }
    this.queue = p.link;
    p.link = null;
    return p;
}
function taskRun(packet) {
    packet.count = packet.count + 1;
    this.work = this.work + (packet.count & 15) + packet.kind;
    packet.id = (this.id + 1 + (packet.count & 1)) % this.scheduler.size;
    this.scheduler.enqueue(packet);
}
function Scheduler(size) {
    this.size = size; this.tasks = []; this.queued = 0;
    this.enqueue = schedulerEnqueue; this.step = schedulerStep;
    var i;
    for (i = 0; i < size; i++) this.tasks[i] = new Task(this, i);
}
function schedulerEnqueue(packet) {
    var target = this.tasks[packet.id], p;
    this.queued = this.queued + 1;
    if (target.queue == null) { target.queue = packet; return; }
    p = target.queue;
    while (p.link != null) p = p.link;
    p.link = packet;
}
function schedulerStep(index) {
    var task = this.tasks[index], packet = task.take();
    if (packet != null) task.run(packet);
}
var s = new Scheduler(6), i, total = 0, held = 0;
for (i = 0; i < 10; i++) s.enqueue(new Packet(i % 6, i & 3));
for (i = 0; i < 600000; i++) s.step(i % 6);
for (i = 0; i < 6; i++) { total = total + s.tasks[i].work; held = held + s.tasks[i].held; }
print(s.queued, held, total);
